#include "config/line_reader.h"

#include "text/sjis.h"

bool is_binary_byte(int c) {
  return (c >= 0x01 && c <= 0x06) || (c >= 0x0E && c <= 0x1A) || (c >= 0x1C && c <= 0x1F) ||
         c == 0x7F || c == 0xFF;
}

int read_config_char(FILE* stream, LineEnd* line_end) {
  int c = getc(stream);
  if (c == EOF) return -1;
  if (c == 0x1A) {
    int next = getc(stream);
    if (next == EOF) return -1;
    ungetc(next, stream);
    return c;
  }
  if (c == '\r') {
    int next = getc(stream);
    if (next != EOF && next != '\n') ungetc(next, stream);
    *line_end = next == '\n' ? kLineEndCrLf : kLineEndCr;
    return '\n';
  }
  if (c == '\n') *line_end = kLineEndLf;
  return c;
}

int read_config_line(char* buffer, size_t size, FILE* stream, LineEnd* line_end) {
  size_t length = 0;
  int c;
  for (;;) {
    c = read_config_char(stream, line_end);
    if (c == -1) {
      buffer[0] = '\0';
      return kEndOfFile;  // a last line of nothing but white space is no line
    }
    if (c == '\n') break;
    if (is_binary_byte(c)) {
      buffer[0] = '\0';
      return kBinaryData;
    }
    if (!is_white_space(static_cast<unsigned>(c))) break;
  }

  bool in_comment = false;
  while (c != -1 && c != '\n') {
    // No quoting: a "#" or ";" anywhere starts the comment.
    if (c == '#' || c == ';') in_comment = true;
    // Bytes past the buffer are still read and checked, then dropped.
    if (!in_comment && length + 1 < size) buffer[length++] = static_cast<char>(c);
    c = read_config_char(stream, line_end);
    if (c != -1 && is_binary_byte(c)) {
      buffer[length] = '\0';
      return kBinaryData;
    }
  }

  while (length > 0 && is_white_space(static_cast<unsigned char>(buffer[length - 1]))) --length;
  buffer[length] = '\0';
  return ferror(stream) ? kEndOfFile : kLineRead;
}
