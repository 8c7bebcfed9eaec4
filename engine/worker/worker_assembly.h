#pragma once
// Puts a worker together with its real protocol layers: the serial transport and DIAG framing
// on the platform serial port, the AT channel, the identity backup, the NV and EFS layers, the
// fastboot pass on the ADB USB API library, and the QMSL library loader.
#include <functional>
#include <memory>

#include "engine/worker/comms_thread.h"
#include "engine/diag/diag_transport.h"

namespace upwend {

// Replaces a layer once the worker's transport and framing exist (tests put doubles in); an
// empty factory leaves the real layer.
struct ExtraLayerFactories {
  std::function<std::unique_ptr<EfsLayer>(TCommsThread&, class DiagFraming&)> efs;
};

std::unique_ptr<TCommsThread> CreateUpdateWorker(RunParameters params, WindowLink& window, Clock& clock,
                                                 SerialPortFactory serialPorts, const ExtraLayerFactories& extra);

}  // namespace upwend
