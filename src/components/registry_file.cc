#include "components/registry_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>

#include <fstream>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "platform/automation_error.h"
#include "platform/xdg_paths.h"

namespace qvfax {

namespace {

std::string RootedKey(const std::string& path, uint32_t root) {
  return fmt::format("{:08X}\\{}", root, path);
}

nlohmann::json Parse(const std::filesystem::path& file) {
  std::ifstream in(file);
  if (!in) return nlohmann::json::object();
  auto doc = nlohmann::json::parse(in, nullptr, /*allow_exceptions=*/false);
  // A damaged file reads as empty rather than stopping the server.
  return doc.is_object() ? doc : nlohmann::json::object();
}

// The display setting is read once a second for every fax under way: the
// file is parsed again only when it was replaced (every save renames a new
// file in, so its inode changes) or changed in place.
std::shared_ptr<const nlohmann::json> Load(const std::filesystem::path& file) {
  struct Parsed {
    ino_t inode = 0;
    timespec modified{};
    off_t size = -1;
    std::shared_ptr<const nlohmann::json> doc;
  };
  static std::mutex mutex;
  static std::map<std::string, Parsed> parsed;
  struct stat info {};
  if (::stat(file.c_str(), &info) != 0) return std::make_shared<const nlohmann::json>(nlohmann::json::object());
  std::lock_guard lock(mutex);
  Parsed& known = parsed[file.string()];
  if (known.size != info.st_size || known.inode != info.st_ino || known.modified.tv_sec != info.st_mtim.tv_sec ||
      known.modified.tv_nsec != info.st_mtim.tv_nsec) {
    known = {info.st_ino, info.st_mtim, info.st_size, std::make_shared<const nlohmann::json>(Parse(file))};
  }
  return known.doc;
}

void Save(const std::filesystem::path& file, const nlohmann::json& doc) {
  std::error_code ec;
  std::filesystem::create_directories(file.parent_path(), ec);
  static std::atomic<uint64_t> saves{0};
  const auto temp = file.string() + fmt::format(".{}-{}.tmp", ::getpid(), ++saves);
  {
    std::ofstream out(temp, std::ios::trunc);
    out << doc.dump(2) << "\n";
    if (!out) {
      throw AutomationError(75, kRegistryObjectClass, "cannot write " + temp);
    }
  }
  std::filesystem::rename(temp, file, ec);
  if (ec) throw AutomationError(75, kRegistryObjectClass, "cannot replace " + file.string());
}

// Server objects on other threads, and other processes, change the same file:
// each read-change-write holds the thread lock and an flock on a lock file.
class Update {
 public:
  explicit Update(const std::filesystem::path& file) : lock_(Mutex()) {
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    fd_ = ::open((file.string() + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ >= 0) ::flock(fd_, LOCK_EX);
  }
  ~Update() {
    if (fd_ >= 0) ::close(fd_);  // releases the flock
  }
  Update(const Update&) = delete;
  Update& operator=(const Update&) = delete;

 private:
  static std::mutex& Mutex() {
    static std::mutex mutex;
    return mutex;
  }
  std::lock_guard<std::mutex> lock_;
  int fd_ = -1;
};

}  // namespace

RegistryFile::RegistryFile(std::filesystem::path file) : file_(std::move(file)) {}

std::filesystem::path RegistryFile::DefaultFile() {
  return xdg::ConfigHome() / "qvfax" / "registry.json";
}

bool RegistryFile::OpenKey(const std::string& path, uint32_t root) {
  const auto key = RootedKey(path, root);
  if (!Load(file_)->contains(key)) return false;
  key_ = key;
  return true;
}

void RegistryFile::CreateKey(const std::string& path, uint32_t root) {
  key_ = RootedKey(path, root);
  Update update(file_);
  auto doc = *Load(file_);
  if (doc.contains(key_)) return;
  doc[key_] = nlohmann::json::object();
  Save(file_, doc);
}

void RegistryFile::WriteBool(const std::string& name, bool value) {
  if (key_.empty()) RaiseObjectNotSet();
  Update update(file_);
  auto doc = *Load(file_);
  doc[key_][name] = value;
  Save(file_, doc);
}

bool RegistryFile::ReadBool(const std::string& name, bool default_value) {
  if (key_.empty()) return default_value;
  const auto doc = Load(file_);
  const auto key = doc->find(key_);
  if (key == doc->end() || !key->is_object()) return default_value;
  const auto value = key->find(name);
  if (value == key->end() || !value->is_boolean()) return default_value;
  return value->get<bool>();
}

}  // namespace qvfax
