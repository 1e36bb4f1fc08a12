#include "files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <utility>

#include "image_io.h"
#include "outputs.h"

namespace vantik::tool {

std::string Stem(const std::string& path) {
  size_t slash = path.find_last_of('/');
  std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t dot = base.rfind('.');
  if (dot != std::string::npos && dot > 0) base.resize(dot);
  return base.empty() ? "page" : base;
}

Status CheckInputFile(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return Status(RC_FAILURE, path + ": " + std::strerror(errno));
  if (S_ISDIR(st.st_mode)) return Status(RC_FAILURE, path + ": is a directory, not a file");
  if (access(path.c_str(), R_OK) != 0) return Status(RC_FAILURE, path + ": " + std::strerror(errno));
  if (S_ISREG(st.st_mode) && st.st_size == 0) return Status(RC_FAILURE, path + ": the file is empty");
  return Status::Ok();
}

std::string ParentDirectory(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

Status EnsureDirectory(const std::string& dir) {
  struct stat st;
  if (stat(dir.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return Status::Ok();
    return Status(RC_FAILURE, dir + ": not a directory");
  }
  // Make the parents first, then this folder.
  size_t slash = dir.find_last_of('/');
  while (slash != std::string::npos && slash > 0 && dir[slash - 1] == '/') --slash;
  if (slash != std::string::npos && slash > 0) {
    Status s = EnsureDirectory(dir.substr(0, slash));
    if (!s.ok()) return s;
  }
  if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) {
    return Status(RC_FAILURE, dir + ": cannot create the directory (" + std::strerror(errno) + ")");
  }
  return Status::Ok();
}

Status CheckWritable(const std::string& dir) {
  if (access(dir.c_str(), W_OK | X_OK) != 0) {
    return Status(RC_FAILURE, dir + ": cannot write files in this directory (" +
                                  std::strerror(errno) + ")");
  }
  return Status::Ok();
}

namespace {

// Writes `out` through a temporary file beside it (made by `write`), renamed
// into place only when the whole file is written.
template <typename Write>
Status WriteAtomically(const std::string& out, Write write) {
  const std::string dir = ParentDirectory(out);
  const size_t slash = out.find_last_of('/');
  const std::string name = out.substr(slash == std::string::npos ? 0 : slash + 1);
  Status s = EnsureDirectory(dir);
  if (!s.ok()) return s;
  s = CheckWritable(dir);
  if (!s.ok()) return s;
  OutputFiles files(dir);
  s = write(files.Add(name));
  if (!s.ok()) return s;
  return files.Commit();
}

}  // namespace

Status WriteImageAtomically(const std::string& out, const std::vector<uint8_t>& pixels, int width,
                            int height, int bands) {
  return WriteAtomically(out, [&](const std::string& temp) {
    Status s = WriteImage(temp, pixels, width, height, bands);
    return s.ok() ? s : Status(s.code(), out + ": cannot write the image");
  });
}

Status WriteFileAtomically(const std::string& out, const std::vector<uint8_t>& bytes) {
  return WriteAtomically(out, [&](const std::string& temp) {
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (f == nullptr) return Status(RC_FAILURE, out + ": cannot write");
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::fclose(f) != 0 || !written) return Status(RC_FAILURE, out + ": cannot write");
    return Status::Ok();
  });
}

Status WriteResourceDirectory(const ResourceSet& set, const std::string& dir) {
  std::vector<std::pair<std::string, std::string>> written;  // temp, final
  auto discard = [&] {
    for (const auto& w : written) std::remove(w.first.c_str());
  };
  for (Service service : {Service::kColor, Service::kHalftone}) {
    const std::string sub = dir + "/" + (service == Service::kColor ? "color" : "halftone");
    Status s = EnsureDirectory(sub);
    if (!s.ok()) {
      discard();
      return s;
    }
    for (int number : set.Numbers(service)) {
      const auto bytes = set.Find(service, number);
      const std::string final = sub + "/" + std::to_string(number) + ".bin";
      const std::string temp = final + ".vantik-" + std::to_string(::getpid());
      std::ofstream f(temp, std::ios::binary);
      f.write(reinterpret_cast<const char*>(bytes->data()), static_cast<std::streamsize>(bytes->size()));
      f.flush();
      written.emplace_back(temp, final);
      if (!f) {
        discard();
        return Status(RC_FAILURE, final + ": cannot write");
      }
    }
  }
  for (const auto& [temp, final] : written) {
    if (std::rename(temp.c_str(), final.c_str()) != 0) {
      discard();
      return Status(RC_FAILURE, final + ": cannot write");
    }
  }
  return Status::Ok();
}

}  // namespace vantik::tool
