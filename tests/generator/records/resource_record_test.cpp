// The record's text, with every member distinct, so that a value in the
// wrong place shows.
#include "generator/records/resource_record.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(ResourceRecord, EveryValueLandsInItsMember) {
  resource_record record{"\t\t",
                         "www_css_logo_png",
                         "logo.png",
                         "www/css/logo.png",
                         4,
                         8,
                         "HTTP_CONTENT_TYPE_IMAGE_PNG",
                         "TXT_ENCODING_UTF8",
                         (uint64_t{1} << 32) + 1237,
                         1234,
                         617,
                         "data_www_css_logo_png",
                         3,
                         "Mon, 7 Dec 2026 7:05:09 GMT",
                         "mon, 7 dec 2026 7:05:09 gmt"};
  char out[2048];
  int length = format_resource_record(record, out, sizeof out);
  EXPECT_STREQ(out,
               "\t\t\tconst vex_resource www_css_logo_png =\n"
               "\t\t\t{\n"
               "\t\t\t\tL\"logo.png\",\n"
               "\t\t\t\t\"/www/css/logo.png\",\n"
               "\t\t\t\twww_css_logo_png.path_root_a + 1,\n"
               "\t\t\t\twww_css_logo_png.path_a + 4,\n"
               "\t\t\t\twww_css_logo_png.path_a + 8,\n"
               "\t\t\t\tHTTP_CONTENT_TYPE_IMAGE_PNG,\n"
               "\t\t\t\tTXT_ENCODING_UTF8,\n"
               "\t\t\t\t1237,\n"
               "\t\t\t\t1234,\n"
               "\t\t\t\t617,\n"
               "\t\t\t\t(const char * const)vex_res_data::data_www_css_logo_png,\n"
               "\t\t\t\twww_css_logo_png.data + 3,\n"
               "\t\t\t\t\"Mon, 7 Dec 2026 7:05:09 GMT\",\n"
               "\t\t\t\t\"mon, 7 dec 2026 7:05:09 gmt\",\n"
               "\t\t\t};\n\n");
  EXPECT_EQ(length, static_cast<int>(std::strlen(out)));
  EXPECT_EQ(format_resource_record(record, out, static_cast<uint64_t>(length)), -1) << "no room for the terminator";
}
