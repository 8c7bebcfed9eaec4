#include <gtest/gtest.h>

#include "platform/dynamic_library.h"

namespace upwend {
namespace {

TEST(DynamicLibraryTest, LoadsByPathAndFindsFunctions) {
  std::string error;
  auto lib = DynamicLibrary::Load(UPWEND_TEST_PLUGIN, error);
  ASSERT_NE(lib, nullptr) << error;
  auto answer = lib->Function<int (*)()>("UpwendTestAnswer");
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);
  EXPECT_EQ(lib->Symbol("NoSuchFunction"), nullptr);

  EXPECT_EQ(DynamicLibrary::Load("/nonexistent/QMSL_MSVC10R.dll", error), nullptr);
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace upwend
