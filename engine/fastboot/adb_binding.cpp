#include "engine/fastboot/adb_binding.h"

#include "platform/dynamic_library.h"

namespace upwend {

AdbBinding::AdbBinding() = default;
AdbBinding::~AdbBinding() = default;

std::string AdbBinding::FailureReason() const {
  if (!loadError_.empty()) return kAdbWinApiFile + std::string(": ") + loadError_;
  if (lastErrorText_ == nullptr) return {};
  const char* text = lastErrorText_();
  return text != nullptr && *text != '\0' ? kAdbWinApiFile + std::string(": ") + text : std::string();
}

bool AdbBinding::Load(const std::string& path, std::string& error) {
  library_ = DynamicLibrary::Load(path, error);
  api_ = {};
  lastErrorText_ = nullptr;
  loadError_.clear();
  if (!library_) {
    loadError_ = error;
    return false;
  }
  auto& l = *library_;
  api_.createInterface = l.Function<AdbCreateInterfaceFn>("AdbCreateInterface");
  api_.getUsbInterfaceDescriptor = l.Function<AdbGetUsbInterfaceDescriptorFn>("AdbGetUsbInterfaceDescriptor");
  api_.openDefaultBulkReadEndpoint = l.Function<AdbOpenDefaultBulkReadEndpointFn>("AdbOpenDefaultBulkReadEndpoint");
  api_.openDefaultBulkWriteEndpoint = l.Function<AdbOpenDefaultBulkWriteEndpointFn>("AdbOpenDefaultBulkWriteEndpoint");
  api_.queryInformationEndpoint = l.Function<AdbQueryInformationEndpointFn>("AdbQueryInformationEndpoint");
  api_.writeEndpointSync = l.Function<AdbWriteEndpointSyncFn>("AdbWriteEndpointSync");
  api_.readEndpointSync = l.Function<AdbReadEndpointSyncFn>("AdbReadEndpointSync");
  api_.closeHandle = l.Function<AdbCloseHandleFn>("AdbCloseHandle");
  api_.getEndpointInformation = l.Function<AdbGetEndpointInformationFn>("AdbGetEndpointInformation");
  api_.getDefaultBulkReadEndpointInformation =
      l.Function<AdbGetDefaultBulkReadEndpointInformationFn>("AdbGetDefaultBulkReadEndpointInformation");
  api_.getDefaultBulkWriteEndpointInformation =
      l.Function<AdbGetDefaultBulkWriteEndpointInformationFn>("AdbGetDefaultBulkWriteEndpointInformation");
  api_.getInterfaceName = l.Function<AdbGetInterfaceNameFn>("AdbGetInterfaceName");
  api_.createInterfaceByName = l.Function<AdbCreateInterfaceByNameFn>("AdbCreateInterfaceByName");
  api_.writeEndpointAsync = l.Function<AdbWriteEndpointAsyncFn>("AdbWriteEndpointAsync");
  api_.readEndpointAsync = l.Function<AdbReadEndpointAsyncFn>("AdbReadEndpointAsync");
  api_.getOvelappedIoResult = l.Function<AdbGetOvelappedIoResultFn>("AdbGetOvelappedIoResult");
  api_.getWriteEndpointBuffer = l.Function<AdbGetWriteEndpointBufferFn>("AdbGetWriteEndpointBuffer");
  lastErrorText_ = l.Function<AdbGetLastErrorTextFn>("AdbGetLastErrorText");
  if (!api_.Usable()) {
    error = "entry points missing in " + path;
    loadError_ = error;
    return false;
  }
  return true;
}

}  // namespace upwend
