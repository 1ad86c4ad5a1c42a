#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "gfx/mesh.h"
#include "gl_recorder.h"
#include "temp_dir.h"

namespace {

// Parses OBJ text through a real FILE stream, as the loader reads it.
bool parse(const std::string& text, gfx::ParsedMesh* mesh) {
  std::FILE* f = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  if (!f) return false;
  const bool ok = gfx::parse_obj(f, mesh);
  std::fclose(f);
  return ok;
}

const char* kTriangle = "v 1 2 3\nv 4 5 6\nv 7 8 9\nvn 0 0 1\nvn 0 1 0\nvn 1 0 0\n";

TEST(ObjParser, NormalFormGivesInterleavedPositionsAndNormals) {
  gfx::ParsedMesh m;
  ASSERT_TRUE(parse(std::string(kTriangle) + "f 1//1 2//2 3//3\n", &m));
  EXPECT_EQ(m.triangle_count, 1);
  EXPECT_FALSE(m.positions_only);
  EXPECT_EQ(m.stream, (std::vector<float>{1, 2, 3, 0, 0, 1, 4, 5, 6, 0, 1, 0, 7, 8, 9, 1, 0, 0}));
}

TEST(ObjParser, PositionsOnlyFormAndItsSlashVariants) {
  for (const char* face : {"f 1// 2// 3//\n", "f 1// 2// 3\n", "f 3// 1// 2//\r\n"}) {
    gfx::ParsedMesh m;
    ASSERT_TRUE(parse(std::string("v 1 2 3\nv 4 5 6\nv 7 8 9\n") + face, &m)) << face;
    EXPECT_EQ(m.triangle_count, 1);
    EXPECT_TRUE(m.positions_only);
    EXPECT_EQ(m.stream.size(), 9u);
  }
}

TEST(ObjParser, ExtraCornersAndCoordinatesAreDropped) {
  gfx::ParsedMesh m;
  ASSERT_TRUE(
      parse("v 1 2 3 4\nv 4 5 6\nv 7 8 9\nv 0 0 0\nvn 0 0 1\nvn 0 1 0\nvn 1 0 0\nvn 1 1 1\n"
            "f 1//1 2//2 3//3 4//4\n",
            &m));
  EXPECT_EQ(m.triangle_count, 1);
  ASSERT_EQ(m.stream.size(), 18u);
  EXPECT_EQ(m.stream[0], 1.0f);
  EXPECT_EQ(m.stream[2], 3.0f);  // the fourth coordinate of v is ignored
  EXPECT_EQ(m.stream[12], 7.0f);
}

TEST(ObjParser, RejectedFaceLines) {
  const std::string base = kTriangle;
  for (const char* face :
       {"f 1/1/1 2/2/2 3/3/3\n", "f 1 2 3\n", "f 0//1 1//1 2//2\n", "f 1//1 2//2 4//3\n",
        "f 1//1 2//2 3//4\n", "f -1//1 2//2 3//3\n", "fx\n"}) {
    gfx::ParsedMesh m;
    EXPECT_FALSE(parse(base + face, &m)) << face;
  }
  gfx::ParsedMesh forward;
  EXPECT_FALSE(parse("v 1 2 3\nv 4 5 6\nf 1// 2// 3//\nv 7 8 9\n", &forward));
}

TEST(ObjParser, IndicesOutside32BitsOrNegativeAreRejectedNeverWrapped) {
  // 4294967297 would wrap to 1, 2^32 to 0 and -1 to 4294967295 under a plain %u.
  for (const char* index : {"4294967296", "4294967297", "-1", "1234567890123456789012345",
                            "18446744073709551617", "-4294967295"}) {
    for (const std::string& face : {"f " + std::string(index) + "//1 2//2 3//3\n",
                                    "f 1//1 2//" + std::string(index) + " 3//3\n",
                                    "f 1// 2// " + std::string(index) + "//\n"}) {
      gfx::ParsedMesh m;
      EXPECT_FALSE(parse(std::string(kTriangle) + face, &m)) << face;
    }
  }
  // Signs and leading zeros read as the scan reads them.
  gfx::ParsedMesh m;
  ASSERT_TRUE(parse(std::string(kTriangle) + "f +1//1 0002//2 3//+3\n", &m));
  EXPECT_EQ(m.stream[6], 4.0f);
  EXPECT_EQ(m.stream[15], 1.0f);  // normal 3 = (1, 0, 0)
}

TEST(ObjParser, VertexLinesReadExactlyAsTheFormattedScanReadsThem) {
  // Plain numbers take a fast path; everything else must still follow sscanf's rules.
  for (const char* line : {"v 1 2 3",
                           "v -1.5 +2.25 3e2",
                           "v .5 -.5 5.",
                           "v 1E+3 1e-3 0.1",
                           "v 1e99 -1e99 1e-50",
                           "v 1e-40 3.4028235e38 0.30000001",
                           "v1 2 3",
                           "v 1\t2\v3",
                           "v 1e 2 3",
                           "v 1.5e+ 2 3",
                           "v 1 2 3e",
                           "v nan inf -infinity",
                           "v 0x1p3 2 3",
                           "v 1,5 2 3",
                           "v 1 2",
                           "v +-1 2 3",
                           "v 1..2 3 4",
                           "v - 1 2 3",
                           "v 123456789012345678901234567890 1 2",
                           "vn 1 2 3",
                           "v 1 2 3x",
                           "v 1x 2 3",
                           "v 00000000000000000000001.0 2 3"}) {
    float want[3];
    const bool vertex = std::sscanf(line, "v %f %f %f", &want[0], &want[1], &want[2]) == 3;
    gfx::ParsedMesh m;
    const bool ok = parse(std::string(line) + "\nvn 0 0 1\nf 1//1 1//1 1//1\n", &m);
    ASSERT_EQ(ok, vertex) << line;
    if (vertex) {
      EXPECT_EQ(std::memcmp(m.stream.data(), want, sizeof want), 0) << line;
    }
  }
}

TEST(ObjParser, RunningOutOfMemoryFailsTheLoad) {
  std::string text;
  for (int i = 0; i < 3000; ++i) text += "v " + std::to_string(i) + " 0 0\n";
  text += "vn 0 0 1\nf 1//1 2//1 3//1\n";
  gfx::ParsedMesh m;
  gfx::set_mesh_memory_limit(80 * 1024);  // 48 KB of positions, the first 72 KB of triangles
  EXPECT_TRUE(parse(text, &m));
  gfx::set_mesh_memory_limit(32 * 1024);  // the positions cannot double from 24 to 48 KB
  EXPECT_FALSE(parse(text, &m));
  gfx::set_mesh_memory_limit(0);
  ASSERT_TRUE(parse(text, &m));
  EXPECT_EQ(m.position_capacity, 3072u);  // the counter still steps by 1024
}

TEST(ObjParser, MixedLayoutsAreRejected) {
  gfx::ParsedMesh m;
  EXPECT_FALSE(parse(std::string(kTriangle) + "f 1//1 2//2 3//3\nf 1// 2// 3//\n", &m));
  EXPECT_FALSE(parse(std::string(kTriangle) + "f 1// 2// 3//\nf 1//1 2//2 3//3\n", &m));
}

TEST(ObjParser, IgnoresOtherLinesIncludingIndentedOnes) {
  gfx::ParsedMesh m;
  ASSERT_TRUE(parse(std::string(kTriangle) +
                        "# comment\n\n vt 0.5 0.5\nvt 0.5 0.5\no cube\ng side\ns 1\nusemtl x\n"
                        " v 9 9 9\n\tf 1//1 2//2 3//3\nv 1 2\nf 1//1 2//2 3//3\n",
                    &m));
  EXPECT_EQ(m.triangle_count, 1);
  EXPECT_EQ(m.stream[0], 1.0f);
}

TEST(ObjParser, EmptyFileGivesAnEmptyMesh) {
  gfx::ParsedMesh m;
  ASSERT_TRUE(parse("", &m));
  EXPECT_EQ(m.triangle_count, 0);
  EXPECT_TRUE(m.stream.empty());
}

TEST(ObjParser, ListsGrowBy1024KeepingEarlierEntries) {
  std::string text;
  for (int i = 0; i < 1025; ++i) text += "v " + std::to_string(i) + " 0 0\n";
  text += "vn 0 0 1\nf 1//1 1024//1 1025//1\n";
  gfx::ParsedMesh m;
  ASSERT_TRUE(parse(text, &m));
  EXPECT_EQ(m.position_capacity, 2048u);
  EXPECT_EQ(m.normal_capacity, 1024u);
  EXPECT_EQ(m.stream[0], 0.0f);
  EXPECT_EQ(m.stream[6], 1023.0f);
  EXPECT_EQ(m.stream[12], 1024.0f);
}

TEST(ObjParser, LongLinesAreReadInPiecesOf1023) {
  // A comment of 1500 characters whose second piece starts with "v 5 6 7".
  std::string text = "#" + std::string(1021, 'x') + "\n";
  text = "#" + std::string(1022, 'x') + "v 5 6 7\n";
  gfx::ParsedMesh m;
  ASSERT_TRUE(parse(text + "vn 0 0 1\nf 1//1 1//1 1//1\n", &m));
  EXPECT_EQ(m.triangle_count, 1);
  EXPECT_EQ(m.stream[0], 5.0f);
}

TEST(ObjParser, ByteOrderMarkAtTheStartOfALineIsSkipped) {
  const std::string mark = "\xEF\xBB\xBF";
  // A file saved with the mark, and two files joined so that the second's mark starts a
  // line; the mark inside a line or at the start of a long line's later piece stays text.
  const struct {
    std::string text;
    int triangles;
    float first;
  } cases[] = {
      {mark + kTriangle + "f 1//1 2//2 3//3\n", 1, 1.0f},
      {"v 9 9 9\n" + mark + "v 1 2 3\nv 4 5 6\n" + mark + "vn 0 0 1\nf 2//1 3//1 1//1\n", 1, 1.0f},
      {std::string(kTriangle) + mark + "f 3//1 2//2 1//3\n", 1, 7.0f},
      {mark + " v 1 2 3\nv 4 4 4\nv 5 5 5\nv 6 6 6\nf 1// 2// 3//\n", 1, 4.0f},  // blank: ignored
      {"#" + std::string(1022, 'x') + mark + "v 5 6 7\nv 1 1 1\nv 2 2 2\nf 1// 2// 1//\n", 1, 1.0f},
  };
  for (const auto& c : cases) {
    gfx::ParsedMesh m;
    ASSERT_TRUE(parse(c.text, &m)) << c.text;
    EXPECT_EQ(m.triangle_count, c.triangles) << c.text;
    ASSERT_FALSE(m.stream.empty());
    EXPECT_EQ(m.stream[0], c.first) << c.text;
  }
}

class MeshUploadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tmp_.make_dir("3d"));
    ASSERT_TRUE(cwd_.ok());
    gltest::install();
  }
  void write(const std::string& text) { std::ofstream("3d/cube.obj") << text; }
  testdir::TempDir tmp_{"quorl-mesh"};
  testdir::WorkingDir cwd_{tmp_.path()};
};

TEST_F(MeshUploadTest, NormalLayoutCallsInOrder) {
  write(std::string(kTriangle) + "f 1//1 2//2 3//3\n");
  gfx::MeshRecord r;
  ASSERT_TRUE(gfx::load_mesh(&r));
  EXPECT_EQ(r.triangle_count, 1);
  EXPECT_EQ(r.positions_only, 0);
  auto calls = gltest::call_strings();
  ASSERT_EQ(calls.size(), 10u);
  calls[4] = calls[4].substr(0, calls[4].find(',', calls[4].find(',') + 1));  // drop the pointer
  EXPECT_EQ(calls,
            (std::vector<std::string>{
                "glGenVertexArrays(1)", "glBindVertexArray(1)", "glGenBuffers(1)",
                "glBindBuffer(34962, 2)", "glBufferData(34962, 72",
                "glVertexAttribPointer(0, 3, 5126, 0, 24, 0)", "glEnableVertexAttribArray(0)",
                "glVertexAttribPointer(1, 3, 5126, 0, 24, 12)", "glEnableVertexAttribArray(1)",
                "glBindVertexArray(0)"}));
  EXPECT_EQ(gltest::calls()[4].args[3], "35044");
}

TEST_F(MeshUploadTest, PositionsOnlyLayoutEnablesOnlyLocationZero) {
  write("v 1 2 3\nv 4 5 6\nv 7 8 9\nf 1// 2// 3//\n");
  gfx::MeshRecord r;
  ASSERT_TRUE(gfx::load_mesh(&r));
  EXPECT_EQ(r.positions_only, 1);
  const auto calls = gltest::call_strings();
  ASSERT_EQ(calls.size(), 8u);
  EXPECT_EQ(calls[4].substr(0, 22), "glBufferData(34962, 36");
  EXPECT_EQ(calls[5], "glVertexAttribPointer(0, 3, 5126, 0, 0, 0)");
  EXPECT_EQ(calls[6], "glEnableVertexAttribArray(0)");
  EXPECT_EQ(calls[7], "glBindVertexArray(0)");
}

TEST_F(MeshUploadTest, OutOfMemoryLeavesAnEmptyRecordAndNoGlObjects) {
  std::string text;
  for (int i = 0; i < 5000; ++i) text += "v 1 2 3\n";
  write(text + "vn 0 0 1\nf 1//1 2//1 3//1\n");
  gfx::MeshRecord r;
  gfx::set_mesh_memory_limit(16 * 1024);
  EXPECT_FALSE(gfx::load_mesh(&r));
  gfx::set_mesh_memory_limit(0);
  EXPECT_EQ(r.triangle_count, 0);
  EXPECT_EQ(r.vertex_array, 0u);
  EXPECT_TRUE(gltest::calls().empty());
  ASSERT_TRUE(gfx::load_mesh(&r));  // the same file loads with memory to spare
  EXPECT_EQ(r.triangle_count, 1);
}

TEST_F(MeshUploadTest, MissingOrRejectedFileLeavesAnEmptyRecordAndNoGlObjects) {
  gfx::MeshRecord r;
  r.triangle_count = 77;  // start-up does not clear the record
  EXPECT_FALSE(gfx::load_mesh(&r));
  EXPECT_EQ(r.triangle_count, 0);
  write(std::string(kTriangle) + "f 1//1 2//2 3//3\nf 1 2 3\n");
  EXPECT_FALSE(gfx::load_mesh(&r));
  EXPECT_EQ(r.triangle_count, 0);
  EXPECT_EQ(r.vertex_array, 0u);
  EXPECT_TRUE(gltest::calls().empty());
}

}  // namespace
