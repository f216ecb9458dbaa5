#include "generator/output_set.h"

#include <cstring>
#include <cwchar>

#include "support/format.h"
#include "generator/generated_text.h"
#include "generator/text_output.h"

using namespace platform;

namespace {

// Without a root resource the array still exists, so that every consumer can
// rely on vex_res::all and vex_res::all_length (an empty initialiser list
// would not compile).
constexpr const char* root_array_empty = "\n\tconst vex_resource * all[1] = { nullptr };\n\n\tconst size_t all_length = 0;\n";
constexpr const char* sort_close = "\t}\n";

constexpr uint32_t part_flags = file_flag_delete_on_close | file_attribute_temporary;

void close_output_set(builder_context& context) {
  for (file_handle* file : output_set_files(context)) file->close();
}

int fail(builder_context& context) {
  close_output_set(context);
  return -1;
}

bool open_part(builder_context& context, file_handle& part, const wchar_t* message) {
  part.open(context.pNAME_DST, generic_read | generic_write, create_always, part_flags);
  if (part.opened) return true;
  out_printf(message, context.pNAME_DST);
  return false;
}

// Formats a piece and writes it; prints the prepare or write message.
bool put_piece(builder_context& context, file_handle& file, const char* format, const wchar_t* prepare_message,
               const wchar_t* write_message) {
  if (prepare_text(context, format, "", "", "", "", "", "") < 0) {
    out_printf(prepare_message, format);
    return false;
  }
  if (!write_prepared(context, file)) {
    out_printf(write_message, context.text_buffer);
    return false;
  }
  return true;
}

bool put_fixed(builder_context& context, file_handle& file, const char* text, const wchar_t* message) {
  if (write_fixed(context, file, text)) return true;
  out_printf(message, text);
  return false;
}

// Writes a namespace opening that the set name completes; message takes the
// text (or the format, when it cannot be prepared).
bool put_set_namespace(builder_context& context, file_handle& file, const char* format, const wchar_t* message) {
  if (prepare_text(context, format, context.set_name) < 0) {
    out_printf(message, format);
    return false;
  }
  if (write_prepared(context, file)) return true;
  out_printf(message, context.text_buffer);
  return false;
}

}  // namespace

uint64_t extension_position(const wchar_t* name) {
  // Only the last component's dot: one in a directory's name would put the
  // derived files into its parent, under another name.
  uint64_t position = 0;
  uint64_t i = 0;
  for (; name[i]; ++i) {
    if (name[i] == L'.') position = i + 1;
    else if (name[i] == L'/' || name[i] == L'\\') position = 0;
  }
  return position ? position : i;
}

bool make_derived_name(const wchar_t* target, const wchar_t* suffix, wchar_t* out, uint64_t capacity) {
  uint64_t extension = extension_position(target);
  out[0] = 0;
  if (extension + wcslen(suffix) + 1 > capacity) return false;
  wmemcpy(out, target, extension);
  wcscpy(out + extension, suffix);
  return true;
}

bool is_standard_stream_name(const wchar_t* name) {
  return wcscmp(name, L"-") == 0 || wcscmp(name, L"con") == 0 || wcscmp(name, L"CON") == 0;
}

bool is_absolute_path(const wchar_t* name) {
  return name[0] == L'/' || name[0] == L'\\' || (name[0] != 0 && name[1] == L':');
}

namespace {

// Copies the target name into pNAME_DST; the position at which the derived
// names are written, or null after the message when it does not fit.
wchar_t* copy_target_name(builder_context& context, const wchar_t* target) {
  uint64_t length = wcslen(target);
  uint64_t extension = extension_position(target);
  // The longest derived name writes "1.tmp" and its terminator at the extension.
  if (length + 1 > context.name_capacity || extension + 6 > context.name_capacity) {
    out_printf(L"failed to copy name to pNAME_DST [%s]\n", target);
    return nullptr;
  }
  wmemcpy(context.pNAME_DST, target, length + 1);
  return context.pNAME_DST + extension;
}

// Moves to the end of a file opened for appending. False when that failed
// with an error, and the file is then written as a new one.
bool seek_to_end(file_handle& file) {
  if (file.seek(0, file_end)) {
    file.last_error = 0;
    return true;
  }
  return file.last_error == 0;
}

// DST.cpp with its include line (unless appending) and the opening of the
// data namespace. append is cleared when the end of the file cannot be found.
bool open_target(builder_context& context, const wchar_t* target, bool& append) {
  context.h_dst_cpp.open(target, generic_write, append ? open_always : create_always, 0);
  if (!context.h_dst_cpp.opened) {
    out_printf(L"cannot open DST.cpp [%s]\n", target);
    return false;
  }
  if (append) {
    context.namespace_path = nullptr;
    append = seek_to_end(context.h_dst_cpp);
  }
  if (!append && !put_fixed(context, context.h_dst_cpp, include_line, L"failed to write header [%hs]\n"))
    return false;
  if (!put_set_namespace(context, context.h_dst_cpp, data_namespace_open, L"failed to open data namespace [%hs]\n"))
    return false;
  if (!context.quiet) out_printf(L"<%s> %lc\n", target, append ? L'+' : L' ');
  return true;
}

bool open_header(builder_context& context, wchar_t* suffix, bool append) {
  wcscpy(suffix, L"h");
  context.h_dst_h.open(context.pNAME_DST, generic_write, append ? open_always : create_always, 0);
  if (!context.h_dst_h.opened) {
    out_printf(L"cannot open DST.h [%s]\n", context.pNAME_DST);
    return false;
  }
  if (append) append = seek_to_end(context.h_dst_h);
  if (!put_set_namespace(context, context.h_dst_h, res_namespace_open, L"failed to open res namespace [%hs]\n"))
    return false;
  if (!context.quiet) out_printf(L"<%s> %lc\n", context.pNAME_DST, append ? L'+' : L' ');
  return true;
}

// The four parts, named by the digit at the extension, with their openings.
bool open_parts(builder_context& context, wchar_t* suffix, bool sharded_arrays) {
  wcscpy(suffix, L"1.tmp");
  if (!open_part(context, context.h_dst_1, L"cannot open DST.1.tmp [%s]\n") ||
      !put_set_namespace(context, context.h_dst_1, res_namespace_open, L"failed to open res namespace [%hs]\n"))
    return false;
  if (!context.quiet) out_printf(L"<%s>\n", context.pNAME_DST);

  *suffix = L'2';
  if (!open_part(context, context.h_dst_2_arr, L"cannot open DST.2.tmp [%s]\n")) return false;
  if (!context.quiet) out_printf(L"<%s>\n", context.pNAME_DST);

  *suffix = L'3';
  if (!open_part(context, context.h_dst_3, L"cannot open DST.3.tmp [%s]\n") ||
      (!sharded_arrays && !put_piece(context, context.h_dst_3, array_open,
                 L"failed to prepare open tag of the array with root resources [%hs]\n",
                 L"failed to write open tag of the array with root resources [%hs]\n")))
    return false;
  if (!context.quiet) out_printf(L"<%s>\n", context.pNAME_DST);

  *suffix = L'4';
  if (!open_part(context, context.h_dst_4, L"cannot open DST.4.tmp [%s]\n") ||
      !put_piece(context, context.h_dst_4, sort_open, L"failed to prepare open tag of the list of sort calls [%hs]\n",
                 L"failed to write open tag of the list of sort calls [%hs]\n") ||
      (!sharded_arrays &&
       !put_piece(context, context.h_dst_4, sort_call, L"failed to prepare item in the list of sort calls [%hs]\n",
                  L"failed to write item in the list of sort calls [%hs]\n")))
    return false;
  if (!context.quiet) out_printf(L"<%s>\n\n", context.pNAME_DST);
  return true;
}

}  // namespace

int open_output_set(builder_context& context, const wchar_t* target, bool append, bool sharded_arrays) {
  wchar_t* suffix = copy_target_name(context, target);
  if (!suffix) return -1;
  if (!open_target(context, target, append) || !open_header(context, suffix, append) || !open_parts(context, suffix, sharded_arrays))
    return fail(context);
  return 0;
}

void finish_output_set(builder_context& context) {
  if (!put_fixed(context, context.h_dst_cpp, namespace_close, L"failed to close data namespace [%hs]\n")) return;
  if (context.namespace_path) {
    if (!put_piece(context, context.h_dst_3, array_close,
                   L"failed to prepare close tag of the array with root resources [%hs]\n",
                   L"failed to close the array of root resources [%hs]\n"))
      return;
    if (context.root_array_filled) {
      copy_part(context, context.h_dst_1, context.h_dst_3);
      context.root_array_filled = 0;
    } else if (!put_fixed(context, context.h_dst_1, root_array_empty,
                          L"failed to close the array of root resources [%hs]\n")) {
      return;
    }
    if (!put_piece(context, context.h_dst_4, sort_close, L"failed to prepare close tag of the list of sort calls [%hs]\n",
                   L"failed to close the list of sort calls [%hs]\n"))
      return;
    copy_part(context, context.h_dst_1, context.h_dst_4);
    if (!put_piece(context, context.h_dst_h, array_declarations,
                   L"failed to prepare the array with root resources [%hs]\n",
                   L"failed to add the array with root resources [%hs]\n"))
      return;
    if (strcmp(context.set_name, default_set_name) != 0 &&
        !put_fixed(context, context.h_dst_h, sort_declaration, L"failed to add the array with root resources [%hs]\n"))
      return;
  }
  if (!put_fixed(context, context.h_dst_h, namespace_close, L"failed to close res namespace [%hs]\n")) return;
  if (!put_fixed(context, context.h_dst_1, namespace_close, L"failed to close res namespace [%hs]\n")) return;
  copy_part(context, context.h_dst_cpp, context.h_dst_1);
}
