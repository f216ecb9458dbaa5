set(VEX_METADATA_SOURCES
  src/metadata/content_type.cpp
  src/metadata/text_encoding.cpp
  src/metadata/http_date.cpp
  src/metadata/clamp_time.cpp
)
