// Reads the configuration file one logical line at a time.
#ifndef VOLSURVEY_CONFIG_LINE_READER_H_
#define VOLSURVEY_CONFIG_LINE_READER_H_

#include <cstddef>
#include <cstdio>

// The kind of the last line end met, so that a file mixing kinds can be
// refused.
enum LineEnd {
  kLineEndNone = 0,
  kLineEndLf = 0x0A,
  kLineEndCr = 0x0D,
  kLineEndCrLf = 0x0D0A,
};

// Results of read_config_line (and of a whole pass).
enum {
  kLineRead = 0,
  kEndOfFile = -1,
  kBinaryData = -2,
  kMixedLineEnds = -3,
};

// The size of a pass's line buffer: 10240 bytes of text and the NUL.
const size_t kConfigLineSize = 10241;

// The next byte (0-255), 0x0A for any line end (recording its kind in
// *line_end), or -1 at the end of the file.  A Ctrl-Z that is the file's
// last byte is its end mark; anywhere else it is returned as data.
int read_config_char(FILE* stream, LineEnd* line_end);

// Reads one line into `buffer` (`size` bytes with the NUL) without its
// comment ("#" or ";" to the line end) and surrounding white space; a longer
// line is cut to size - 1 bytes.  Returns kLineRead, kEndOfFile (also on a
// read error) or kBinaryData.
int read_config_line(char* buffer, size_t size, FILE* stream, LineEnd* line_end);

// True for the bytes that never belong in a text file.
bool is_binary_byte(int c);

#endif  // VOLSURVEY_CONFIG_LINE_READER_H_
