#include "engine/nv/qmsl_loader.h"

#include <memory>
#include <mutex>
#include <vector>

#include "platform/dynamic_library.h"

namespace upwend {

namespace {

std::mutex gLoadedMutex;
std::vector<std::unique_ptr<DynamicLibrary>>& Loaded() {
  // Never destroyed: entry points stay valid until the process ends.
  static auto* loaded = new std::vector<std::unique_ptr<DynamicLibrary>>();
  return *loaded;
}

}  // namespace

bool DynamicQmslLoader::Load(const std::string& path, QmslEntryPoints& entry) {
  error_.clear();
  std::unique_ptr<DynamicLibrary> library = DynamicLibrary::Load(path, error_);
  if (!library) return false;
  entry.connectServerWithWait = library->Function<QLIB_ConnectServerWithWait_t>("QLIB_ConnectServerWithWait");
  entry.isPhoneConnected = library->Function<QLIB_IsPhoneConnected_t>("QLIB_IsPhoneConnected");
  entry.nvRead = library->Function<QLIB_DIAG_NV_READ_F_t>("QLIB_DIAG_NV_READ_F");
  entry.efsRead = library->Function<QLIB_EfsRead_t>("QLIB_EfsRead");
  entry.nvWrite = library->Function<QLIB_DIAG_NV_WRITE_F_t>("QLIB_DIAG_NV_WRITE_F");
  entry.efsWrite = library->Function<QLIB_EfsWrite_t>("QLIB_EfsWrite");
  entry.disconnectServer = library->Function<QLIB_DisconnectServer_t>("QLIB_DisconnectServer");
  std::lock_guard lock(gLoadedMutex);
  Loaded().push_back(std::move(library));
  return true;
}

}  // namespace upwend
