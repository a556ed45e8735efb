// The size of the platform's path buffers (MAX_PATH on Windows): a path of at most 259 characters
// and its terminator. The program keeps every path, and every entry name a listing gives, in one.
#pragma once

enum { PathBufferSize = 260 };
