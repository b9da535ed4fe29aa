// Bounded string helpers for fixed buffers. Every copy into a fixed buffer
// in the stub goes through these: they never write past `size` bytes and
// always leave a NUL-terminated string (cut at the buffer's end).
#pragma once

// Copies src into dst (size bytes); returns 1 when it fit whole, 0 when cut.
int CopyText(char* dst, const char* src, unsigned size);
// Appends src to the string in dst (size bytes); 1 when whole, 0 when cut.
int AppendText(char* dst, const char* src, unsigned size);
// Length of a NUL-terminated string.
unsigned TextLength(const char* s);
