#include "gfx/shader_es.h"

#include <cctype>
#include <cstring>

namespace gfx {
namespace {

bool identifier_char(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

// Where the "#version" line starts and ends (past its newline), or false when the source
// does not begin with one. Only blank lines and comments may come before it.
bool find_version_line(const std::string& s, size_t* begin, size_t* end) {
  size_t i = 0;
  while (i < s.size()) {
    if (std::isspace(static_cast<unsigned char>(s[i]))) {
      ++i;
    } else if (s.compare(i, 2, "//") == 0) {
      i = s.find('\n', i);
      if (i == std::string::npos) return false;
    } else if (s.compare(i, 2, "/*") == 0) {
      i = s.find("*/", i + 2);
      if (i == std::string::npos) return false;
      i += 2;
    } else {
      break;
    }
  }
  if (s.compare(i, 8, "#version") != 0) return false;
  *begin = i;
  const size_t newline = s.find('\n', i);
  *end = newline == std::string::npos ? s.size() : newline + 1;
  return true;
}

// Replaces every whole-token `from` in `s` by `to`; returns how many were replaced.
int replace_token(std::string* s, const char* from, const char* to) {
  const size_t n = std::strlen(from), m = std::strlen(to);
  int replaced = 0;
  for (size_t at = s->find(from); at != std::string::npos; at = s->find(from, at)) {
    const bool starts = at == 0 || !identifier_char((*s)[at - 1]);
    const bool ends = at + n == s->size() || !identifier_char((*s)[at + n]);
    if (starts && ends) {
      s->replace(at, n, to);
      at += m;
      ++replaced;
    } else {
      at += n;
    }
  }
  return replaced;
}

}  // namespace

std::string shader_to_es(const char* source, size_t length, bool fragment) {
  std::string s(source, length);
  size_t begin = 0, end = 0;
  if (!find_version_line(s, &begin, &end)) return s;
  std::string body = s.substr(end);
  std::string head = "#version 300 es\nprecision highp float;\nprecision highp int;\n";
  if (fragment && replace_token(&body, "gl_FragColor", kEsColorOutput) > 0) {
    head += std::string("out vec4 ") + kEsColorOutput + ";\n";
  }
  // The line after the version line keeps its number in the compiler's messages.
  size_t line = 2;
  for (size_t i = 0; i < begin; ++i) line += s[i] == '\n' ? 1 : 0;
  head += "#line " + std::to_string(line) + "\n";
  return s.substr(0, begin) + head + body;
}

}  // namespace gfx
