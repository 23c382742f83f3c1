// Damaged packages through the real Linux stub: a small package cut at every byte of its
// archive, and with every byte of its archive flipped, must run to its end with exit code
// 0, without a crash or a hang, and write nothing outside its destination folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include "archive/record.h"
#include "tests/support/package_builder.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_dir.h"

namespace {

using sfxtest::Bytes;
using sfxtest::Record;

Bytes SmallArchive() {
  std::string text;
  for (int i = 0; i < 60; ++i) text += "line " + std::to_string(i) + " of a small text file\n";
  Record deflated = sfxtest::StoredRecord("docs/b.txt", text);
  deflated.method = kMethodDeflate;
  Bytes wrapped(compressBound(text.size()));  // zlib's format: 2 header bytes, the raw stream, 4 check bytes
  uLongf size = wrapped.size();
  EXPECT_EQ(compress2(wrapped.data(), &size, deflated.uncompressed.data(), text.size(), 9), Z_OK);
  deflated.data.assign(wrapped.begin() + 2, wrapped.begin() + size - 4);
  return sfxtest::BuildArchive({sfxtest::StoredRecord("dir/a.txt", "stored content"), deflated,
                                sfxtest::StoredRecord("c.bin", std::string("\x00\x01\x02\xFF", 4))});
}

// Runs stub + scrambled archive in a fresh folder and checks how it ended and what it
// left; returns the folder's tree.
std::vector<std::string> RunDamaged(const Bytes& stub, const Bytes& archive, const std::string& what) {
  sfxtest::TempDir sandbox;
  std::string package = sandbox / "package";
  Bytes bytes(stub);
  Bytes scrambled = sfxtest::Scramble(archive);
  bytes.insert(bytes.end(), scrambled.begin(), scrambled.end());
  sfxtest::WriteFile(package, bytes);
  chmod(package.c_str(), 0755);
  mkdir((sandbox / "tmp").c_str(), 0755);
  auto outcome = sfxtest::RunProcess(package, {}, sandbox.path(), {"TMPDIR=" + sandbox / "tmp"}, 10);
  EXPECT_FALSE(outcome.timedOut) << what;
  EXPECT_TRUE(outcome.exited) << what << " signal " << outcome.signal;
  EXPECT_EQ(outcome.exitCode, 0) << what;
  std::vector<std::string> tree = sfxtest::ListTree(sandbox.path());
  for (const std::string& entry : tree) {
    bool inside = entry == "package" || entry == "tmp" || entry == "tmp/_I_" || entry.rfind("tmp/_I_/", 0) == 0;
    EXPECT_TRUE(inside) << what << " wrote " << entry;
  }
  return tree;
}

TEST(DamagedPackageTest, EveryCutAndEveryFlippedByteEndsCleanly) {
  Bytes stub = sfxtest::ReadFile(SFX_HOST_STUB);
  Bytes archive = SmallArchive();
  ASSERT_GT(archive.size(), 100u);
  EXPECT_EQ(RunDamaged(stub, archive, "intact"),
            (std::vector<std::string>{"package", "tmp", "tmp/_I_", "tmp/_I_/c.bin", "tmp/_I_/dir",
                                      "tmp/_I_/dir/a.txt", "tmp/_I_/docs", "tmp/_I_/docs/b.txt"}));
  for (size_t cut = 0; cut < archive.size(); ++cut)
    (void)RunDamaged(stub, Bytes(archive.begin(), archive.begin() + cut), "cut at " + std::to_string(cut));
  for (size_t i = 0; i < archive.size(); ++i) {
    Bytes flipped(archive);
    flipped[i] ^= 0xFF;
    (void)RunDamaged(stub, flipped, "byte " + std::to_string(i) + " flipped");
  }
}

}  // namespace
