// SPDX-License-Identifier: MIT
// Saving: memory and size against the file, paths, the safe replacement of the target under
// faults, permissions and kept file times.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <functional>

#include "image/DllImage.h"
#include "tests/support/TesselTest.h"

using namespace fixtures;
namespace fs = std::filesystem;

namespace {

const TesselSaveOptions kDefaults = TSL_SAVE_OPTIONS_DEFAULT;

CDllImage* Internal(ITessel* image) { return static_cast<CDllImage*>(image); }

Bytes Sample() {
  Recipe recipe = Make(64, 48, "420");
  recipe.markers = {{JPEG_COM, {'c'}}, {JPEG_APP0 + 2, Bytes(40, 9)}};
  return Write(recipe);
}

// Another image, so that a replaced target is told from an untouched one.
Bytes OldContent() {
  Recipe recipe = Make(24, 24, "444");
  recipe.seed = 99;
  return Write(recipe);
}

mode_t Mode(const fs::path& path) {
  struct stat st {};
  EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

TEST(SaveToMemory, ExactSizeHoldsWhatSaveWritesAndOneByteLessFails) {
  const Recipe kinds[] = {Make(64, 48, "420"), Make(33, 17, "gray", Space::kGray),
                          Make(19, 11, "", Space::kCMYK)};
  for (Recipe recipe : kinds) {
    SCOPED_TRACE(recipe.Name());
    recipe.markers = {{JPEG_COM, {'x', 'y'}}};
    ImagePtr image = OpenBytes(Write(recipe));
    ASSERT_TRUE(image);
    const int32_t size = image->GetFileSize();
    ASSERT_GT(size, 0);
    TempDir dir;
    ASSERT_TRUE(image->Save(U16(dir / "a.jpg").c_str(), &kDefaults));
    const Bytes file = ReadFile(dir / "a.jpg");
    EXPECT_EQ(file.size(), static_cast<size_t>(size));

    Bytes exact(static_cast<size_t>(size));
    EXPECT_TRUE(image->SaveToMemory(exact.data(), size));
    EXPECT_EQ(exact, file);
    Bytes roomy(static_cast<size_t>(size) + 100, 0xAB);
    EXPECT_TRUE(image->SaveToMemory(roomy.data(), static_cast<int32_t>(roomy.size())));
    EXPECT_TRUE(std::equal(file.begin(), file.end(), roomy.begin()));
    Bytes shorter(static_cast<size_t>(size) - 1);
    EXPECT_FALSE(image->SaveToMemory(shorter.data(), size - 1));
    Bytes half(static_cast<size_t>(size) / 2);
    EXPECT_FALSE(image->SaveToMemory(half.data(), size / 2));
    EXPECT_FALSE(image->SaveToMemory(exact.data(), 0));
    EXPECT_FALSE(image->SaveToMemory(exact.data(), -5));
    EXPECT_FALSE(image->SaveToMemory(nullptr, size));
    // Measuring and writing to memory change nothing: the next measure agrees.
    EXPECT_EQ(image->GetFileSize(), size);
  }
}

TEST(Save, NothingOpenGivesZeroAndFalseAndWritesNothing) {
  TempDir dir;
  const Bytes jpeg = Sample();
  std::vector<ImagePtr> images;
  images.push_back(NewImage());
  images.push_back(OpenBytes(jpeg, /*headerOnly=*/true));
  ImagePtr closed = OpenBytes(jpeg);
  closed->Close();
  images.push_back(std::move(closed));
  for (ImagePtr& image : images) {
    ASSERT_TRUE(image);
    EXPECT_EQ(image->GetFileSize(), 0);
    Bytes buffer(1 << 16);
    EXPECT_FALSE(image->SaveToMemory(buffer.data(), static_cast<int32_t>(buffer.size())));
    EXPECT_FALSE(image->Save(U16(dir / "a.jpg").c_str(), &kDefaults));
  }
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(Save, PathsAndTheSavedPath) {
  TempDir dir;
  ImagePtr image = OpenBytes(Sample());
  ASSERT_TRUE(image);
  // No path saved yet: an empty path, a null path and null options are refused.
  EXPECT_FALSE(image->Save(u"", &kDefaults));
  EXPECT_FALSE(image->Save(nullptr, &kDefaults));
  EXPECT_FALSE(image->Save(U16(dir / "a.jpg").c_str(), nullptr));
  // A path with an unpaired surrogate names no file.
  const std::u16string broken = U16(dir / "b") + u'\xD800' + u".jpg";
  EXPECT_FALSE(image->Save(broken.c_str(), &kDefaults));
  EXPECT_TRUE(fs::is_empty(dir.path()));

  ASSERT_TRUE(image->Save(U16(dir / "first.jpg").c_str(), &kDefaults));
  EXPECT_EQ(Internal(image.get())->SavedPath(), U16(dir / "first.jpg"));
  EXPECT_EQ(Internal(image.get())->Exif().FileName(), u"first.jpg");
  const Bytes first = ReadFile(dir / "first.jpg");
  fs::remove(dir / "first.jpg");
  // An empty path writes to the saved path again.
  ASSERT_TRUE(image->Save(u"", &kDefaults));
  EXPECT_EQ(ReadFile(dir / "first.jpg"), first);
  // Non-ASCII names are UTF-8 on disk.
  const std::u16string name = U16(dir.path()) + u"/caf\u00E9.jpg";
  ASSERT_TRUE(image->Save(name.c_str(), &kDefaults));
  EXPECT_TRUE(fs::exists(dir.path() / "caf\xC3\xA9.jpg"));
  EXPECT_EQ(Internal(image.get())->Exif().FileName(), u"caf\u00E9.jpg");
  // A save to another file leaves the store and the open's name alone.
  const std::vector<int16_t> store = Store(image.get());
  EXPECT_EQ(Store(image.get()), store);
  // Close forgets the saved path.
  image->Close();
  EXPECT_TRUE(Internal(image.get())->SavedPath().empty());
}

// Each fault leaves the old target byte for byte and no temporary file behind.
TEST(Save, FaultsLeaveTheTargetUntouched) {
  struct Fault {
    const char* name;
    // Prepares the fault; returns false to skip the case with `why`.
    std::function<bool(const fs::path& dir, ITessel* image, TesselSaveOptions* options,
                       std::string* why)>
        prepare;
    bool tempIsDirectory = false;
  };
  const Fault faults[] = {
      {"temporary path is a directory",
       [](const fs::path& dir, ITessel*, TesselSaveOptions*, std::string*) {
         fs::create_directory(dir / "t.jpg.tmp");
         return true;
       },
       true},
      {"directory not writable",
       [](const fs::path& dir, ITessel*, TesselSaveOptions*, std::string* why) {
         if (geteuid() == 0) {
           *why = "root ignores permission bits; the other faults cover failed writes";
           return false;
         }
         fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
         return true;
       }},
      {"no image open",
       [](const fs::path&, ITessel* image, TesselSaveOptions*, std::string*) {
         image->Close();
         return true;
       }},
      {"re-encoding without a bitmap",
       [](const fs::path&, ITessel*, TesselSaveOptions* options, std::string*) {
         options->iMode = 1;
         return true;
       }},
      {"writer fails after the header (value beyond the Huffman range)",
       [](const fs::path&, ITessel* image, TesselSaveOptions*, std::string*) {
         std::vector<int16_t> store = Store(image);
         store[1] = 32767;
         return image->SetCoefficients(store.data(), static_cast<int32_t>(store.size())) != 0;
       }},
  };
  for (const Fault& fault : faults) {
    SCOPED_TRACE(fault.name);
    TempDir dir;
    const fs::path target = dir / "t.jpg";
    const Bytes old = OldContent();
    WriteFile(target, old);
    ImagePtr image = OpenBytes(Sample());
    ASSERT_TRUE(image);
    TesselSaveOptions options = kDefaults;
    std::string why;
    if (!fault.prepare(dir.path(), image.get(), &options, &why)) {
      std::cout << "[ SKIPPED  ] " << fault.name << ": " << why << '\n';
      continue;
    }
    EXPECT_FALSE(image->Save(U16(target).c_str(), &options));
    fs::permissions(dir.path(), fs::perms::owner_all, fs::perm_options::add);
    EXPECT_EQ(ReadFile(target), old);
    if (fault.tempIsDirectory) {
      EXPECT_TRUE(fs::is_directory(dir / "t.jpg.tmp"));
      EXPECT_TRUE(fs::is_empty(dir / "t.jpg.tmp"));
    } else {
      EXPECT_FALSE(fs::exists(dir / "t.jpg.tmp"));
    }
  }
}

TEST(Save, TargetThatIsADirectoryOrInAMissingDirectoryFails) {
  TempDir dir;
  fs::create_directory(dir / "d.jpg");
  ImagePtr image = OpenBytes(Sample());
  ASSERT_TRUE(image);
  EXPECT_FALSE(image->Save(U16(dir / "d.jpg").c_str(), &kDefaults));
  EXPECT_TRUE(fs::is_directory(dir / "d.jpg"));
  EXPECT_FALSE(image->Save(U16(dir / "missing" / "a.jpg").c_str(), &kDefaults));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

// A file-size limit reached in the middle of the write: the child process saves and reports
// the result and errno through its exit status.
TEST(Save, FileSizeLimitMidWriteLeavesTheTargetUntouched) {
  TempDir dir;
  const fs::path target = dir / "t.jpg";
  const Bytes old = OldContent();
  WriteFile(target, old);
  ImagePtr image = OpenBytes(Write(Make(256, 256, "420")));
  ASSERT_TRUE(image);
  const int32_t size = image->GetFileSize();
  ASSERT_GT(size, 8192);
  std::cout.flush();
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlim_t limit = static_cast<rlim_t>(size / 2);
    const rlimit rl{limit, limit};
    if (setrlimit(RLIMIT_FSIZE, &rl) != 0) _exit(3);
    const TSL_BOOL ok = image->Save(U16(target).c_str(), &kDefaults);
    _exit(ok ? 1 : errno == EFBIG ? 0 : 2);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the save succeeded, 2: errno was not EFBIG";
  EXPECT_EQ(ReadFile(target), old);
  EXPECT_FALSE(fs::exists(dir / "t.jpg.tmp"));
}

TEST(Save, ReplacedTargetKeepsItsPermissionBits) {
  for (mode_t mode : {0444, 0600, 0640, 0755, 0400}) {
    SCOPED_TRACE(mode);
    TempDir dir;
    const fs::path target = dir / "t.jpg";
    WriteFile(target, OldContent());
    ASSERT_EQ(chmod(target.c_str(), mode), 0);
    ImagePtr image = OpenBytes(Sample());
    ASSERT_TRUE(image);
    ASSERT_TRUE(image->Save(U16(target).c_str(), &kDefaults));
    EXPECT_EQ(Mode(target), mode);
    EXPECT_EQ(ReadFile(target).size(), static_cast<size_t>(image->GetFileSize()));
    EXPECT_FALSE(fs::exists(dir / "t.jpg.tmp"));
  }
}

TEST(Save, NewPathGetsTheDefaultPermissions) {
  for (mode_t mask : {022, 077, 002}) {
    SCOPED_TRACE(mask);
    TempDir dir;
    const mode_t previous = umask(mask);
    ImagePtr image = OpenBytes(Sample());
    const TSL_BOOL ok = image->Save(U16(dir / "new.jpg").c_str(), &kDefaults);
    umask(previous);
    ASSERT_TRUE(ok);
    EXPECT_EQ(Mode(dir / "new.jpg"), 0666 & ~mask);
  }
}

timespec Time(int64_t seconds, long nanoseconds) {
  return timespec{static_cast<time_t>(seconds), nanoseconds};
}

TEST(Save, KeptTimesAreTheOnesCapturedAtOpenToTheNanosecond) {
  TempDir dir;
  const fs::path source = dir / "s.jpg";
  WriteFile(source, Sample());
  const timespec times[2] = {Time(1000000000, 123456789), Time(1200000000, 987654321)};
  ASSERT_EQ(utimensat(AT_FDCWD, source.c_str(), times, 0), 0);
  ImagePtr image = NewImage();
  ASSERT_TRUE(image->Open(U16(source).c_str(), 0));
  // The file changes after the open; the captured times are the ones kept.
  const timespec later[2] = {Time(1300000000, 5), Time(1300000000, 6)};
  ASSERT_EQ(utimensat(AT_FDCWD, source.c_str(), later, 0), 0);

  TesselSaveOptions keep = kDefaults;
  keep.bKeepFileTimes = 1;
  for (const fs::path& target : {source, dir / "copy.jpg"}) {
    SCOPED_TRACE(target.string());
    ASSERT_TRUE(image->Save(U16(target).c_str(), &keep));
    struct stat st {};
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_atim.tv_sec, times[0].tv_sec);
    EXPECT_EQ(st.st_atim.tv_nsec, times[0].tv_nsec);
    EXPECT_EQ(st.st_mtim.tv_sec, times[1].tv_sec);
    EXPECT_EQ(st.st_mtim.tv_nsec, times[1].tv_nsec);
  }
  // Without the option the new file has the time of the save.
  const time_t before = time(nullptr);
  ASSERT_TRUE(image->Save(U16(dir / "plain.jpg").c_str(), &kDefaults));
  struct stat st {};
  ASSERT_EQ(stat((dir / "plain.jpg").c_str(), &st), 0);
  EXPECT_GE(st.st_mtim.tv_sec, before - 1);

  // An image opened from memory has no times to keep: the file keeps the time of the save.
  ImagePtr fromMemory = OpenBytes(Sample());
  ASSERT_TRUE(fromMemory->Save(U16(dir / "memory.jpg").c_str(), &keep));
  ASSERT_EQ(stat((dir / "memory.jpg").c_str(), &st), 0);
  EXPECT_GE(st.st_mtim.tv_sec, before - 1);
}

// A stale temporary file is replaced; a link in its place is not followed; a target that is a
// link has the file it names replaced and stays a link.
TEST(Save, StaleTemporaryFilesAndLinks) {
  TempDir dir;
  ImagePtr image = OpenBytes(Sample());
  ASSERT_TRUE(image);
  const Bytes expected = [&] {
    Bytes b(static_cast<size_t>(image->GetFileSize()));
    image->SaveToMemory(b.data(), static_cast<int32_t>(b.size()));
    return b;
  }();

  WriteFile(dir / "a.jpg.tmp", Bytes(10, 1));
  ASSERT_TRUE(image->Save(U16(dir / "a.jpg").c_str(), &kDefaults));
  EXPECT_EQ(ReadFile(dir / "a.jpg"), expected);
  EXPECT_FALSE(fs::exists(dir / "a.jpg.tmp"));

  const Bytes other = OldContent();
  WriteFile(dir / "other", other);
  fs::create_symlink(dir / "other", dir / "b.jpg.tmp");
  ASSERT_TRUE(image->Save(U16(dir / "b.jpg").c_str(), &kDefaults));
  EXPECT_EQ(ReadFile(dir / "other"), other);
  EXPECT_EQ(ReadFile(dir / "b.jpg"), expected);
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "b.jpg.tmp")));

  WriteFile(dir / "real.jpg", other);
  fs::create_symlink("real.jpg", dir / "link.jpg");
  ASSERT_TRUE(image->Save(U16(dir / "link.jpg").c_str(), &kDefaults));
  EXPECT_TRUE(fs::is_symlink(dir / "link.jpg"));
  EXPECT_EQ(ReadFile(dir / "real.jpg"), expected);
  EXPECT_FALSE(fs::exists(dir / "real.jpg.tmp"));
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "link.jpg.tmp")));
}

}  // namespace
