#include <gtest/gtest.h>

#include <string>

#include "gfx/shader_es.h"

namespace {

const char kHead[] = "#version 300 es\nprecision highp float;\nprecision highp int;\n";
const char kOut[] = "out vec4 quorl_FragColor;\n";

struct Case {
  const char* name;
  bool fragment;
  const char* in;
  std::string out;
};

std::string es(const std::string& s, bool fragment) {
  return gfx::shader_to_es(s.data(), s.size(), fragment);
}

TEST(ShaderEs, RewritesTheVersionLineAndTheColourOutput) {
  const std::string head = kHead, out = kOut;
  const Case cases[] = {
      {"vertex: precisions, nothing else", false, "#version 130\nin vec2 A0;\n",
       head + "#line 2\nin vec2 A0;\n"},
      {"fragment: the output declared and used", true,
       "#version 130\nvoid main() { gl_FragColor = vec4(1.0); }\n",
       head + out + "#line 2\nvoid main() { quorl_FragColor = vec4(1.0); }\n"},
      {"fragment writing no colour declares no output", true, "#version 130\nvoid main() {}\n",
       head + "#line 2\nvoid main() {}\n"},
      {"a vertex shader's gl_FragColor is not touched", false, "#version 130\ngl_FragColor\n",
       head + "#line 2\ngl_FragColor\n"},
      {"every use, whole tokens only", true,
       "#version 130\ngl_FragColor=a;gl_FragColor.r=b;my_gl_FragColor=gl_FragColorX;\n",
       head + out +
           "#line 2\nquorl_FragColor=a;quorl_FragColor.r=b;my_gl_FragColor=gl_FragColorX;\n"},
      {"comments and blank lines before the version line stay, numbering follows", true,
       "// a\n\n/* b\n */ #version 130\ngl_FragColor;",
       "// a\n\n/* b\n */ " + head + out + "#line 5\nquorl_FragColor;"},
      {"version line without a newline", false, "#version 130", head + "#line 2\n"},
      {"no version line: unchanged", true, "void main() { gl_FragColor = x; }\n",
       "void main() { gl_FragColor = x; }\n"},
      {"code before the version line: unchanged", true, "int a;\n#version 130\n",
       "int a;\n#version 130\n"},
      {"an unclosed comment: unchanged", false, "/* #version 130\n", "/* #version 130\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(es(c.in, c.fragment), c.out) << c.name;
}

TEST(ShaderEs, TakesTheGivenLengthNotATerminator) {
  const char source[] = "#version 130\nabc\0def";
  EXPECT_EQ(gfx::shader_to_es(source, 16, false), std::string(kHead) + "#line 2\nabc");
}

}  // namespace
