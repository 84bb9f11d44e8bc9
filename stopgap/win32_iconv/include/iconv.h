// The part of iconv's interface the text library uses, for Windows.
#pragma once

#include <cstddef>

struct rankora_iconv_state;
using iconv_t = rankora_iconv_state*;

iconv_t iconv_open(const char* to, const char* from);
std::size_t iconv(iconv_t cd, char** in, std::size_t* inLeft, char** out, std::size_t* outLeft);
int iconv_close(iconv_t cd);
