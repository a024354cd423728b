// The registry as a file store. Every step below the root goes through descriptors opened
// without following symbolic links, so that neither a name nor a link planted in the store
// reaches outside the root's folder.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <random>
#include <string_view>

#include "serialkit/platform/registry.h"
#include "serialkit/platform/system_error.h"

namespace sk::platform {

namespace {

// A descriptor that closes itself.
class Fd {
 public:
  explicit Fd(int Value = -1) : fd_(Value) {}
  ~Fd() { Reset(); }
  Fd(Fd&& Other) noexcept : fd_(Other.Release()) {}
  Fd& operator=(Fd&& Other) noexcept {
    if (this != &Other) {
      Reset();
      fd_ = Other.Release();
    }
    return *this;
  }
  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void Reset() {
    if (fd_ >= 0) {
      const int saved = errno;
      ::close(fd_);
      errno = saved;
    }
    fd_ = -1;
  }

 private:
  int fd_;
};

// A name that stays inside its folder: not empty, not "." or "..", no "/" and no NUL.
bool SafeName(std::string_view Name) {
  return !Name.empty() && Name != "." && Name != ".." &&
         Name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

std::string EnvOr(const char* Name, const std::string& Fallback) {
  const char* v = std::getenv(Name);
  return v != nullptr && *v != '\0' ? std::string(v) : Fallback;
}

// Creates Path and the folders above it; true when it exists as a folder afterwards.
bool MakeFolders(const std::string& Path, mode_t Mode) {
  if (Path.empty()) {
    errno = ENOENT;
    return false;
  }
  for (std::size_t pos = Path.find('/', 1);; pos = Path.find('/', pos + 1)) {
    const std::string part = Path.substr(0, pos);
    if (!part.empty() && ::mkdir(part.c_str(), Mode) != 0 && errno != EEXIST) return false;
    if (pos == std::string::npos) break;
  }
  struct stat st {};
  if (::stat(Path.c_str(), &st) != 0) return false;
  if (!S_ISDIR(st.st_mode)) {
    errno = ENOTDIR;
    return false;
  }
  return true;
}

// Opens (creating when missing) the folder Name inside Parent, never through a link.
Fd OpenSubfolder(int Parent, const std::string& Name) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    Fd fd(::openat(Parent, Name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.Valid() || errno != ENOENT) return fd;
    // Another process may create it between the two calls: that is as good.
    if (::mkdirat(Parent, Name.c_str(), 0755) != 0 && errno != EEXIST) return Fd();
  }
  return Fd(::openat(Parent, Name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

bool WriteAll(int Fd, const std::uint8_t* Data, std::size_t Size) {
  while (Size > 0) {
    const ssize_t n = ::write(Fd, Data, Size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    Data += n;
    Size -= static_cast<std::size_t>(n);
  }
  return true;
}

// A name for a temporary file that no other writer picks; it is created exclusively, so
// even a value that happened to bear it would fail the write rather than be replaced.
std::string TemporaryName() {
  static std::atomic<std::uint64_t> counter{0};
  thread_local std::mt19937_64 random{std::random_device{}()};
  return ".~" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1)) + "-" +
         std::to_string(random() & 0xFFFFFFFF);
}

class FileRegistryKey final : public RegistryKey {
 public:
  explicit FileRegistryKey(Fd Folder) : folder_(std::move(Folder)) {}

  Query QueryValue(const std::string& Name, std::size_t MaxSize,
                   std::vector<std::uint8_t>& Data) override {
    Data.clear();
    if (!SafeName(Name)) {
      errno = EINVAL;
      return Query::Failed;
    }
    // Non-blocking, so that a pipe planted under a value's name cannot stall the open.
    Fd fd(::openat(folder_.Get(), Name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd.Valid()) return errno == ENOENT ? Query::Absent : Query::Failed;
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) return Query::Failed;
    // A sub-key of the same name is no value.
    if (S_ISDIR(st.st_mode)) return Query::Absent;
    if (!S_ISREG(st.st_mode)) {
      errno = EINVAL;
      return Query::Failed;
    }
    // One byte more than allowed tells a longer value apart; the file is never read further.
    Data.resize(MaxSize + 1);
    std::size_t got = 0;
    while (got < Data.size()) {
      const ssize_t n = ::read(fd.Get(), Data.data() + got, Data.size() - got);
      if (n < 0) {
        if (errno == EINTR) continue;
        Data.clear();
        return Query::Failed;
      }
      if (n == 0) break;
      got += static_cast<std::size_t>(n);
    }
    if (got > MaxSize) {
      Data.clear();
      return Query::TooLong;
    }
    Data.resize(got);
    return Query::Found;
  }

  bool SetBinaryValue(const std::string& Name, const void* Data, std::size_t Size) override {
    if (!SafeName(Name)) {
      errno = EINVAL;
      return false;
    }
    const std::string temp = TemporaryName();
    Fd fd(::openat(folder_.Get(), temp.c_str(),
                   O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!fd.Valid()) return false;
    const bool written = WriteAll(fd.Get(), static_cast<const std::uint8_t*>(Data), Size) &&
                         ::fsync(fd.Get()) == 0 && ::close(fd.Release()) == 0 &&
                         ::renameat(folder_.Get(), temp.c_str(), folder_.Get(), Name.c_str()) == 0;
    if (!written) {
      const int saved = errno;
      fd.Reset();
      ::unlinkat(folder_.Get(), temp.c_str(), 0);
      errno = saved;
      return false;
    }
    // The rename itself survives a crash only once the folder is on disk too.
    ::fsync(folder_.Get());
    return true;
  }

 private:
  Fd folder_;
};

}  // namespace

std::string RegistryRootPath(RegistryRoot Root) {
  if (Root == RegistryRoot::LocalMachine)
    return EnvOr("SK_MACHINE_REGISTRY", "/var/lib/serialkit/registry");
  const std::string config = EnvOr("XDG_CONFIG_HOME", EnvOr("HOME", "") + "/.config");
  return config + "/serialkit/registry";
}

std::unique_ptr<RegistryKey> CreateRegistryKey(RegistryRoot Root, const std::string& Key) {
  // Refuse before touching anything, so that a bad name creates no folder on its way.
  std::vector<std::string> names;
  if (!Key.empty()) {
    std::size_t begin = 0;
    for (;;) {
      const std::size_t end = Key.find('\\', begin);
      names.push_back(Key.substr(begin, end == std::string::npos ? end : end - begin));
      if (!SafeName(names.back())) {
        errno = EINVAL;
        return nullptr;
      }
      if (end == std::string::npos) break;
      begin = end + 1;
    }
  }
  const std::string rootPath = RegistryRootPath(Root);
  if (!MakeFolders(rootPath, Root == RegistryRoot::CurrentUser ? 0700 : 0755)) return nullptr;
  Fd folder(::open(rootPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder.Valid()) return nullptr;
  for (const std::string& name : names) {
    folder = OpenSubfolder(folder.Get(), name);
    if (!folder.Valid()) return nullptr;
  }
  return std::make_unique<FileRegistryKey>(std::move(folder));
}

}  // namespace sk::platform
