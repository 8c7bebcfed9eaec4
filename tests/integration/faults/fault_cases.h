#pragma once
// The cases of the fault matrix: one fault (or a Stop, or a bad product) at one phase of an
// update of the built-in product, and how the case must end.
#include <string>
#include <vector>

namespace upwend {

// Every case runs at this scale: 1 s of the tool's waits is 20 ms.
inline constexpr const char* kFaultTimeScale = "0.02";

enum class Recovery {
  kNone,       // the run itself ends with PASS
  kStart,      // failed before its backup: replug and Start again
  kReupdate,   // failed after its backup: replug and Re-update
  kReupdateInBootLoader,  // as kReupdate, with the device still in its boot loader
  kUnchanged,  // refused or failed before touching the device: the device is exactly as before
};

struct FaultCase {
  std::string name;                      // test name, letters and digits
  std::string phase;                     // the phase the fault hits
  std::vector<std::string> simFaults;    // --fault values of upwend-sim
  std::string stopOn;                    // Stop (SIGINT) once this output appears
  std::string product;                   // a bad product (see fault_matrix_test.cpp), or empty
  std::vector<std::string> upwendArgs{"--start"};
  int exitCode = 0;
  std::string firstError;                // part of the first "ERROR, " line; empty: none
  Recovery recovery = Recovery::kNone;
  double boundSeconds = 60;              // wall time of one run, loaded machine included
  std::vector<std::string> exceptItems;  // saved items the device said it does not have
  std::string expectedEnd;               // for the table

  std::string FaultText() const;
};

std::vector<FaultCase> FaultCases();

}  // namespace upwend
