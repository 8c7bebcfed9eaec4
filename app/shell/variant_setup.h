#pragma once
// The window's set-up by variant, run once when the window is created (after Config.ini is
// loaded): titles, fonts, the Japanese warnings and About labels, which Start set shows, and
// the texts of the guided layout.
namespace upwend {

struct ProductConfig;
struct WindowState;

void ApplyVariantSetup(WindowState& state, const ProductConfig& config);

// Start set B: project types 2, 6, 27, 28 and 42, 3 with a variant, and the Japanese language.
bool UsesStartSetB(const ProductConfig& config);

}  // namespace upwend
