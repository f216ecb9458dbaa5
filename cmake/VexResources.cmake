# vex_add_resources(<target> ROOT <dir> [SOURCES <pattern>...] [FLAT] [BIG_ENDIAN]
#                   [OUTPUT <name>] [SOURCE_DATE_EPOCH <seconds>] [UTF8_NAMES]
#                   [DATA_FORM <AUTO|WORDS|LITERAL|INCBIN|OBJECT>] [HTTP_EXTRAS]
#                   [HTTP_EXTRAS_CACHE <dir>] [SHARDS <n>|AUTO] [NAMESPACE <name>]
#                   [STORE_COMPRESSED <gzip|br|zstd>] [REPORT <file.json|file.html>])
#
# Embeds the files below ROOT into <target>. At build time the resource
# builder runs in ROOT on the SOURCES (default: "*", the whole tree) and
# writes <name>.cpp and <name>.h (default name: <target>_resources), plus an
# index of every all array, into ${CMAKE_CURRENT_BINARY_DIR}/vex_resources/<name>.
# The target's code includes "vex_resources.h" for the kit, the generated
# declarations and the index (vex_res_arrays, vex_res_arrays_length); a
# target with several sets includes each as "<name>/vex_resources.h".
#
# SHARDS writes the records into that many sources (<name>.cpp, with the
# all arrays, and <name>.1.cpp ...), which the build compiles in parallel:
# a big tree compiles faster and no compile holds all of it. AUTO counts the
# files below ROOT when CMake configures the project and takes one shard per
# 10,000 files (at most 256). The count is not taken again at build time: a
# tree that grows afterwards keeps its shards, which then hold more records,
# until the project is configured again.
#
# NAMESPACE names the set: its records' namespace, the index (<name>_arrays,
# <name>_arrays_length) and every other name the set defines begin with it
# instead of vex_res, so that several sets link into one program.
#
# The builder writes a dependency file, so editing, adding or removing a
# file below ROOT regenerates the sources on the next build, and nothing
# regenerates when nothing changed.
#
# Last-write times later than SOURCE_DATE_EPOCH (seconds since 1970) are
# dated at that time, so that every checkout generates the same bytes;
# without the option the environment's SOURCE_DATE_EPOCH, when set at
# configure time, is used.
#
# DATA_FORM chooses how the bytes reach the program. OBJECT writes them into
# an object file, <name>.data.o (<name>.data.obj for COFF), that is linked
# into the target: nothing to compile but the records. Its format (ELF, COFF
# or Mach-O, for x86-64 or ARM64) is worked out from the target's toolchain.
# INCBIN writes them into <name>.bin, which the assembler includes (GCC and
# Clang). LITERAL writes them as string literals (MSVC takes at most 65,535
# bytes in one: a larger file stops its build with an #error). WORDS writes
# them as C++ arrays of words, the slowest. AUTO (the default) is OBJECT
# wherever the object format is known, else INCBIN for GCC and Clang on ELF,
# Mach-O and PE/COFF targets, and LITERAL otherwise.
#
# HTTP_EXTRAS also writes a side record per file (strong ETag, brotli, gzip
# and zstd variants, content-hashed path; see vex_resource_builder/vex_extras.h)
# and <name>.manifest.json, the map of paths to hashed paths, with the
# variants cached in <name>.cache beside the generated sources, or in
# HTTP_EXTRAS_CACHE (relative to the build directory), a directory that
# several builds and a clean build can share. Without it, the environment's
# VEX_RESOURCE_CACHE at build time names the directory.
#
# STORE_COMPRESSED <coding> does what HTTP_EXTRAS does, but every file that
# compresses is held in the program in that coding only (-z): a record's data
# and text are then null, and its side record's variant of that coding holds
# the bytes, which the kit's identity_reader.h decodes for clients that do
# not take the coding. The target is linked with the coding's decoder
# (vex_resource_builder::decode_<coding>); a coding whose decoder this build
# did not find (VEX_RESOURCES_DECODERS) stops the configure step.
#
# REPORT <file> writes a size report of what the program holds (-r): JSON
# for a name ending in .json, one self-contained page with a treemap for
# .html. A relative name is taken from the build directory.
#
# Needs the imported targets vex_resource_builder::vex_resource_builder (the
# tool) and vex_resource_builder::kit (its headers). The tool runs on the
# build machine, also when the project is cross-compiled; the cache variable
# VEX_RESOURCE_BUILDER_EXECUTABLE names another one to run instead (for a
# build that makes its own host tool).
include("${CMAKE_CURRENT_LIST_DIR}/VexResourcesDecoders.cmake")
set(_VEX_RESOURCES_INDEX_SCRIPT "${CMAKE_CURRENT_LIST_DIR}/VexResourcesIndex.cmake")
set(VEX_RESOURCE_BUILDER_EXECUTABLE "" CACHE FILEPATH
    "The resource builder that vex_add_resources runs (empty: the package's own)")

function(vex_add_resources target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "FLAT;BIG_ENDIAN;UTF8_NAMES;HTTP_EXTRAS"
                        "ROOT;OUTPUT;SOURCE_DATE_EPOCH;DATA_FORM;HTTP_EXTRAS_CACHE;SHARDS;NAMESPACE;STORE_COMPRESSED;REPORT"
                        "SOURCES")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "vex_add_resources: unknown arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT arg_ROOT)
    message(FATAL_ERROR "vex_add_resources: ROOT <dir> is required")
  endif()
  get_filename_component(root "${arg_ROOT}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  if(NOT IS_DIRECTORY "${root}")
    message(FATAL_ERROR "vex_add_resources: ROOT ${root} is not a directory")
  endif()
  set(name "${arg_OUTPUT}")
  if(NOT name)
    set(name "${target}_resources")
  endif()
  set(sources ${arg_SOURCES})
  if(NOT sources)
    set(sources "*")
  endif()

  _vex_resources_object_format(object_format ${target})
  _vex_resources_data_form(form "${arg_DATA_FORM}" "${object_format}")
  set(tool vex_resource_builder::vex_resource_builder)
  if(VEX_RESOURCE_BUILDER_EXECUTABLE)
    set(tool "${VEX_RESOURCE_BUILDER_EXECUTABLE}")
  endif()

  set(out "${CMAKE_CURRENT_BINARY_DIR}/vex_resources/${name}")
  _vex_resources_shards(shards "${arg_SHARDS}" "${root}")
  set(set_name vex_res)
  if(NOT "${arg_NAMESPACE}" STREQUAL "")
    if(NOT arg_NAMESPACE MATCHES "^[A-Za-z_][A-Za-z0-9_]*$" OR arg_NAMESPACE MATCHES "^vex")
      message(FATAL_ERROR "vex_add_resources: NAMESPACE ${arg_NAMESPACE}: give a C++ identifier that does not "
              "begin with vex")
    endif()
    set(set_name "${arg_NAMESPACE}")
  endif()
  set(shard_sources)
  if(shards GREATER 1)
    math(EXPR last "${shards} - 1")
    foreach(index RANGE 1 ${last})
      list(APPEND shard_sources "${out}/${name}.${index}.cpp")
    endforeach()
  endif()
  set(switches -q)
  if(arg_BIG_ENDIAN)
    list(APPEND switches -b)
  endif()
  if(arg_FLAT)
    list(APPEND switches -f)
  endif()
  list(APPEND switches -M "${out}/${name}.d")
  if(NOT "${arg_SOURCE_DATE_EPOCH}" STREQUAL "")
    list(APPEND switches -t "${arg_SOURCE_DATE_EPOCH}")
  elseif(DEFINED ENV{SOURCE_DATE_EPOCH})
    list(APPEND switches -t "$ENV{SOURCE_DATE_EPOCH}")
  endif()
  set(binary)
  set(object)
  if(form STREQUAL "LITERAL")
    list(APPEND switches -m literal)
  elseif(form STREQUAL "INCBIN")
    list(APPEND switches -m incbin)
    set(binary "${out}/${name}.bin")
  elseif(form STREQUAL "OBJECT")
    list(APPEND switches -m "object:${object_format}")
    if(object_format MATCHES "^coff-")
      set(object "${out}/${name}.data.obj")
    else()
      set(object "${out}/${name}.data.o")
    endif()
  endif()
  if(shards GREATER 1)
    list(APPEND switches -s ${shards})
  endif()
  if(NOT "${arg_NAMESPACE}" STREQUAL "")
    list(APPEND switches -n "${arg_NAMESPACE}")
  endif()
  if(arg_UTF8_NAMES)
    list(APPEND switches -u)
  endif()
  set(manifest)
  if(NOT "${arg_STORE_COMPRESSED}" STREQUAL "")
    _vex_resources_stored_coding(coding "${arg_STORE_COMPRESSED}")
    # -z implies -x.
    list(APPEND switches -z ${coding})
    set(manifest "${out}/${name}.manifest.json")
    target_link_libraries(${target} PRIVATE vex_resource_builder::decode_${coding})
  elseif(arg_HTTP_EXTRAS)
    list(APPEND switches -x)
    set(manifest "${out}/${name}.manifest.json")
  endif()
  if(NOT "${arg_HTTP_EXTRAS_CACHE}" STREQUAL "")
    if(NOT manifest)
      message(FATAL_ERROR "vex_add_resources: HTTP_EXTRAS_CACHE needs HTTP_EXTRAS or STORE_COMPRESSED")
    endif()
    get_filename_component(cache "${arg_HTTP_EXTRAS_CACHE}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
    list(APPEND switches -c "${cache}")
  endif()
  set(report)
  if(NOT "${arg_REPORT}" STREQUAL "")
    get_filename_component(report "${arg_REPORT}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
    if(NOT report MATCHES "\\.([Jj][Ss][Oo][Nn]|[Hh][Tt][Mm][Ll])$")
      message(FATAL_ERROR "vex_add_resources: REPORT ${arg_REPORT}: give a file name ending in .json or .html")
    endif()
    list(APPEND switches -r "${report}")
  endif()

  file(MAKE_DIRECTORY "${out}/pch")
  # The generated .cpp includes "pch.h"; this one is seen by it alone, so the
  # target's own pch.h (if any) is left alone. It names the set's own
  # declarations by their place, as another set's are on the include path too.
  file(CONFIGURE OUTPUT "${out}/pch/pch.h" CONTENT "#pragma once\n#include \"../vex_resources.h\"\n")
  file(CONFIGURE OUTPUT "${out}/vex_resources.h" CONTENT
"#pragma once
// The resources of ${target}: the kit's declarations, the generated ones and
// the index of every all array (the root's and each top-level namespace's).
#include \"vex_resource_builder/vex_resource.h\"
#include \"${name}.h\"

extern const vex_resource_array ${set_name}_arrays[];
extern const size_t ${set_name}_arrays_length;
")

  # The builder is started in the build directory and moves into ROOT, so
  # every path it lists in the dependency file is absolute.
  add_custom_command(
    OUTPUT "${out}/${name}.cpp" ${shard_sources} "${out}/${name}.h" "${out}/${name}_index.cpp" ${binary} ${object}
           ${manifest} ${report}
    COMMAND "${tool}" ${switches} "${out}/${name}.cpp" -d "${root}" ${sources}
    COMMAND "${CMAKE_COMMAND}" -DHEADER=${out}/${name}.h -DINDEX=${out}/${name}_index.cpp -DSET=${set_name}
            -P "${_VEX_RESOURCES_INDEX_SCRIPT}"
    DEPFILE "${out}/${name}.d"
    DEPENDS "${tool}" "${_VEX_RESOURCES_INDEX_SCRIPT}"
    WORKING_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}"
    COMMENT "Embedding ${root} into ${target}"
    VERBATIM)

  set(records "${out}/${name}.cpp" ${shard_sources})
  target_sources(${target} PRIVATE ${records} "${out}/${name}_index.cpp")
  set_source_files_properties(${records} "${out}/${name}_index.cpp" TARGET_DIRECTORY ${target}
                              PROPERTIES INCLUDE_DIRECTORIES "${out}/pch")
  # The records cast their data to "const char * const", which -Wextra
  # reports as a qualifier without effect; it is harmless, so keep the
  # project's own warning flags from failing on it.
  set_property(SOURCE ${records} TARGET_DIRECTORY ${target} APPEND PROPERTY COMPILE_OPTIONS
               $<$<OR:$<CXX_COMPILER_ID:GNU>,$<CXX_COMPILER_ID:Clang>>:-Wno-ignored-qualifiers>)
  if(binary)
    # The generated source names the binary file without a directory, so it
    # is the same in every checkout; the assembler finds it here. A change
    # of the bytes alone rebuilds the object (and changes the symbol names in
    # the source, so that a compiler cache sees it too). Link-time
    # optimisation would assemble the data again at link time, where this
    # path is not passed; the data gains nothing from it, so it is left out.
    set_property(SOURCE ${records} TARGET_DIRECTORY ${target} APPEND PROPERTY COMPILE_OPTIONS
                 "-Wa,-I${out}" -fno-lto)
    # Clang's own assembler holds three to five times the binary file in
    # memory; the system's assembler, where there is one, a little over once.
    _vex_resources_external_assembler(external)
    if(external)
      set_property(SOURCE ${records} TARGET_DIRECTORY ${target} APPEND PROPERTY COMPILE_OPTIONS
                   -fno-integrated-as)
    endif()
    set_property(SOURCE ${records} TARGET_DIRECTORY ${target} APPEND PROPERTY OBJECT_DEPENDS "${binary}")
  endif()
  if(object)
    # Linked as it is; a new object relinks the target.
    target_sources(${target} PRIVATE "${object}")
    set_source_files_properties("${object}" TARGET_DIRECTORY ${target} PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
  endif()
  # "vex_resources.h" for a target with one set, "<name>/vex_resources.h" for several.
  target_include_directories(${target} PRIVATE "${out}" "${CMAKE_CURRENT_BINARY_DIR}/vex_resources")
  target_link_libraries(${target} PRIVATE vex_resource_builder::kit)
endfunction()

# The number of shards that SHARDS asks for: 1 without it; AUTO counts the
# files below root now, at configure time, one shard per 10,000 of them.
function(_vex_resources_shards result requested root)
  if("${requested}" STREQUAL "")
    set(${result} 1 PARENT_SCOPE)
    return()
  endif()
  string(TOUPPER "${requested}" requested)
  if(requested STREQUAL "AUTO")
    file(GLOB_RECURSE files LIST_DIRECTORIES false "${root}/*")
    list(LENGTH files count)
    math(EXPR requested "(${count} + 9999) / 10000")
    if(requested GREATER 256)
      set(requested 256)
    elseif(requested LESS 1)
      set(requested 1)
    endif()
  elseif(NOT requested MATCHES "^[0-9]+$" OR requested LESS 1 OR requested GREATER 256)
    message(FATAL_ERROR "vex_add_resources: SHARDS ${requested}: give AUTO or a number from 1 to 256")
  endif()
  set(${result} ${requested} PARENT_SCOPE)
endfunction()

# The coding that STORE_COMPRESSED names, in lower case, when the target can
# decode it (VEX_RESOURCES_DECODERS, from VexResourcesDecoders.cmake): a
# program that holds files in a coding it cannot decode could not serve
# them to clients that do not take the coding.
function(_vex_resources_stored_coding result requested)
  string(TOLOWER "${requested}" coding)
  if(NOT coding MATCHES "^(gzip|br|zstd)$")
    message(FATAL_ERROR "vex_add_resources: STORE_COMPRESSED ${requested}: give gzip, br or zstd")
  endif()
  if(NOT coding IN_LIST VEX_RESOURCES_DECODERS)
    set(library "zlib (Debian: zlib1g-dev)")
    if(coding STREQUAL "br")
      set(library "libbrotli's decoder (Debian: libbrotli-dev)")
    elseif(coding STREQUAL "zstd")
      set(library "libzstd (Debian: libzstd-dev)")
    endif()
    message(FATAL_ERROR "vex_add_resources: STORE_COMPRESSED ${coding}: ${library} was not found for this "
            "build, so the program could not decode the files it holds in ${coding} for the clients that do not "
            "take ${coding}. Install it, or choose a coding among those found: ${VEX_RESOURCES_DECODERS}")
  endif()
  set(${result} ${coding} PARENT_SCOPE)
endfunction()

# The form that DATA_FORM (or AUTO, when empty) stands for with this project's
# compiler, given the object format of the target ("" when there is none).
function(_vex_resources_data_form result requested object_format)
  if("${requested}" STREQUAL "")
    set(requested AUTO)
  endif()
  string(TOUPPER "${requested}" requested)
  if(NOT requested MATCHES "^(AUTO|WORDS|LITERAL|INCBIN|OBJECT)$")
    message(FATAL_ERROR "vex_add_resources: DATA_FORM ${requested}: give AUTO, WORDS, LITERAL, INCBIN or OBJECT")
  endif()
  if(requested STREQUAL "OBJECT" AND object_format STREQUAL "")
    message(FATAL_ERROR "vex_add_resources: DATA_FORM OBJECT: no object format is known for this target "
            "(compiler ${CMAKE_CXX_COMPILER_ID}, system ${CMAKE_SYSTEM_NAME}, processor "
            "${CMAKE_SYSTEM_PROCESSOR}, ${CMAKE_SIZEOF_VOID_P}-byte pointers); the object form is written for "
            "ELF, COFF and Mach-O on x86-64 and ARM64. Choose DATA_FORM INCBIN, LITERAL or WORDS instead.")
  endif()
  if(requested STREQUAL "AUTO")
    if(object_format)
      set(requested OBJECT)
    else()
      set(requested LITERAL)
      set(gnu_driver TRUE)
      if(CMAKE_CXX_COMPILER_FRONTEND_VARIANT STREQUAL "MSVC")
        set(gnu_driver FALSE)
      endif()
      if(CMAKE_CXX_COMPILER_ID MATCHES "^(GNU|Clang|AppleClang)$" AND gnu_driver
         AND (APPLE OR WIN32 OR CMAKE_EXECUTABLE_FORMAT STREQUAL "ELF"))
        set(requested INCBIN)
      endif()
    endif()
  endif()
  if(requested STREQUAL "LITERAL" AND CMAKE_CXX_COMPILER_ID STREQUAL "MSVC")
    message(WARNING "vex_add_resources: DATA_FORM LITERAL with MSVC: MSVC takes at most 65,535 bytes in one "
            "string literal, so a file of 65,535 bytes or more stops the build with an #error that names it. "
            "DATA_FORM OBJECT has no such limit.")
  endif()
  set(${result} ${requested} PARENT_SCOPE)
endfunction()

# The object format (for -m object:<format>) of target's code: the container
# from the system, the machine from what the compiler reports, else from the
# target triple, else from the system's processor, else from the target that
# a GNU-style compiler names itself. "" when the tool writes no
# object for it (32-bit code, other machines, several architectures at once,
# Apple systems other than macOS).
function(_vex_resources_object_format result target)
  if(CMAKE_SYSTEM_NAME MATCHES "^(Windows|WindowsStore|WindowsPhone|CYGWIN|MSYS)$")
    set(container coff)
  elseif(CMAKE_SYSTEM_NAME STREQUAL "Darwin")
    # The Mach-O object is built for macOS; a linker for iOS and the other
    # Apple systems refuses it.
    set(container macho)
  elseif(CMAKE_EXECUTABLE_FORMAT STREQUAL "ELF")
    set(container elf)
  else()
    set(container "")
  endif()
  set(machine "")
  if(APPLE)
    # Set from CMAKE_OSX_ARCHITECTURES, or by the project for this target.
    get_target_property(machine ${target} OSX_ARCHITECTURES)
  endif()
  if(NOT machine)
    # MSVC names its target here; its CMAKE_SYSTEM_PROCESSOR is the host's.
    set(machine "${CMAKE_CXX_COMPILER_ARCHITECTURE_ID}")
  endif()
  if(NOT machine AND CMAKE_CXX_COMPILER_TARGET MATCHES "^([^-]+)-")
    set(machine "${CMAKE_MATCH_1}")
  endif()
  if(NOT machine)
    set(machine "${CMAKE_SYSTEM_PROCESSOR}")
  endif()
  if(NOT machine AND CMAKE_CXX_COMPILER_ID MATCHES "^(GNU|Clang|AppleClang)$"
     AND NOT CMAKE_CXX_COMPILER_FRONTEND_VARIANT STREQUAL "MSVC")
    # A cross toolchain file that names no processor: the compiler knows its target.
    execute_process(COMMAND "${CMAKE_CXX_COMPILER}" -dumpmachine OUTPUT_VARIABLE triple ERROR_QUIET)
    if(triple MATCHES "^([^-]+)-")
      set(machine "${CMAKE_MATCH_1}")
    endif()
  endif()
  string(TOLOWER "${machine}" machine)
  if(machine MATCHES "^(x86_64|amd64|x64)$")
    set(machine x86-64)
  elseif(machine MATCHES "^(aarch64|arm64)$")
    set(machine arm64)
  else()
    set(machine "")
  endif()
  if(container AND machine AND CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(${result} "${container}-${machine}" PARENT_SCOPE)
  else()
    set(${result} "" PARENT_SCOPE)
  endif()
endfunction()

# True for Clang on ELF when it can assemble with the system's assembler.
function(_vex_resources_external_assembler result)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang" OR NOT CMAKE_EXECUTABLE_FORMAT STREQUAL "ELF")
    set(${result} FALSE PARENT_SCOPE)
    return()
  endif()
  if(NOT DEFINED VEX_RESOURCES_EXTERNAL_ASSEMBLER)
    include(CheckCXXSourceCompiles)
    set(CMAKE_REQUIRED_FLAGS -fno-integrated-as)
    set(CMAKE_REQUIRED_QUIET TRUE)
    check_cxx_source_compiles("int main() { return 0; }" VEX_RESOURCES_EXTERNAL_ASSEMBLER)
  endif()
  set(${result} ${VEX_RESOURCES_EXTERNAL_ASSEMBLER} PARENT_SCOPE)
endfunction()
