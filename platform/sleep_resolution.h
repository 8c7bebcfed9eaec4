#pragma once
// Short sleeps as short as asked: some systems round every sleep up to a coarse timer tick
// (Windows: 15.6 ms), which would stretch the scaled waits of tests and the demo many times over.
namespace upwend {

// Asks the system once per process for its finest sleep resolution; nothing where that is
// already the default.
void PrepareFineSleeps();

}  // namespace upwend
