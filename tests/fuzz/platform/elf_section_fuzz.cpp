// Any bytes as an ELF file: the section reader finds a section or nothing, never reads outside
// the file, and gives the same answer from memory and from a file.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/elf_section.h"
#include "platform/payload_archive.h"

namespace {

// The input as a file without touching the disk: a memory file reached through /proc.
std::string MemoryFile(const uint8_t* data, size_t size, int& fd) {
  fd = memfd_create("elf", MFD_CLOEXEC);
  if (fd < 0) std::abort();
  for (size_t done = 0; done < size;) {
    ssize_t n = write(fd, data + done, size - done);
    if (n <= 0) std::abort();
    done += static_cast<size_t>(n);
  }
  return "/proc/self/fd/" + std::to_string(fd);
}

bool Same(const std::optional<upwend::FileRange>& a, const std::optional<upwend::FileRange>& b) {
  if (a.has_value() != b.has_value()) return false;
  return !a || (a->offset == b->offset && a->size == b->size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view image(reinterpret_cast<const char*>(data), size);
  int fd = -1;
  std::string path = MemoryFile(data, size, fd);
  // The payload's name, one that the fuzzer can reach in a short string table, and the empty name.
  for (std::string_view name : {std::string_view(upwend::kPayloadSection), std::string_view("a"), std::string_view()}) {
    auto inMemory = upwend::FindElfSection(image, name);
    if (inMemory && (inMemory->offset > size || inMemory->size > size - inMemory->offset)) std::abort();
    if (!Same(inMemory, upwend::FindElfSectionInFile(path, name))) std::abort();
  }
  close(fd);
  return 0;
}
