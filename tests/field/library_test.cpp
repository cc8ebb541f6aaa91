// The calibration library as the driver loads it: a model that loads
// corrects every pose; one that cannot be read is reported on standard
// error and every pose then passes unchanged.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "calib/field/model_file.h"
#include "field_models.h"
#include "motionstar/calibration.h"
#include "platform/platform.h"

namespace {

class FieldCorrectionLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    library_ = platform::libraryLoad(FIELD_CORRECTION_PATH);
    ASSERT_NE(library_, nullptr);
    init_ = reinterpret_cast<CalibInitFn>(platform::librarySymbol(library_, "calib_init"));
    evaluate_ =
        reinterpret_cast<CalibEvaluateFn>(platform::librarySymbol(library_, "calib_evaluate"));
    exit_ = reinterpret_cast<CalibExitFn>(platform::librarySymbol(library_, "calib_exit"));
    ASSERT_TRUE(init_ && evaluate_ && exit_);
  }
  void TearDown() override { platform::libraryFree(library_); }

  // calib_init with these arguments; what it wrote to standard error.
  void* init(std::vector<std::string> arguments, std::string* errors) {
    std::vector<char*> args;
    for (std::string& a : arguments) args.push_back(a.data());
    args.push_back(nullptr);
    ::testing::internal::CaptureStderr();
    void* handle = init_(args.data(), static_cast<int32_t>(arguments.size()));
    *errors = ::testing::internal::GetCapturedStderr();
    return handle;
  }

  static std::string modelFile(const std::string& name, const std::string& text) {
    const std::string path = ::testing::TempDir() + "field_library_" + name;
    std::ofstream(path) << text;
    return path;
  }

  void* library_ = nullptr;
  CalibInitFn init_ = nullptr;
  CalibEvaluateFn evaluate_ = nullptr;
  CalibExitFn exit_ = nullptr;
};

TEST_F(FieldCorrectionLibrary, ALoadedModelCorrectsEveryPose) {
  const std::string path = ::testing::TempDir() + "field_library_linear.model";
  {
    std::ofstream out(path);
    field::writeModel(out, linearModel({{-2, -2, -2}, {2, 2, 2}}, 0.1, 0.0), "test");
  }
  std::string errors;
  void* handle = init({path}, &errors);
  ASSERT_NE(handle, nullptr) << errors;
  EXPECT_EQ(errors, "field_correction: " + path +
                        ": position by poly (degree 1), orientation by poly (degree 1)\n");
  TraPose pose{1.0f, 0.0f, 0.0f, 10.0f, 20.0f, 30.0f};
  EXPECT_EQ(evaluate_(handle, &pose), 1);
  EXPECT_FLOAT_EQ(pose.x, 1.05f);
  TraPose outside{9.0f, 0.0f, 0.0f, 10.0f, 20.0f, 30.0f};
  evaluate_(handle, &outside);
  EXPECT_FLOAT_EQ(outside.x, 9.1f);
  EXPECT_EQ(exit_(handle), 1);
}

TEST_F(FieldCorrectionLibrary, AModelThatCannotBeReadIsReportedAndPosesPassUnchanged) {
  const std::string truncated =
      modelFile("truncated.model", "motionstar-field-model 1\nvolume 0 0 0 1 1 1\n");
  const std::string missing = ::testing::TempDir() + "field_library_missing.model";
  const struct {
    std::vector<std::string> arguments;
    std::string message;
  } cases[] = {
      {{truncated},
       "field_correction: " + truncated +
           ": the file ends after line 2; expected \"position METHOD\"; poses pass unchanged\n"},
      {{missing},
       "field_correction: " + missing + ": cannot open the file; poses pass unchanged\n"},
      {{},
       "field_correction: no model file named (calibration field_correction MODEL); poses pass "
       "unchanged\n"},
      {{truncated, "extra"},
       "field_correction: unexpected argument \"extra\" after the model; poses pass unchanged\n"},
  };
  for (const auto& c : cases) {
    std::string errors;
    void* handle = init(c.arguments, &errors);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(errors, c.message);
    TraPose pose{1.5f, -2.0f, 3.0f, 10.0f, 20.0f, 30.0f};
    EXPECT_EQ(evaluate_(handle, &pose), 1);
    EXPECT_EQ(pose.x, 1.5f);
    EXPECT_EQ(pose.roll, 30.0f);
    EXPECT_EQ(exit_(handle), 1);
  }
}

}  // namespace
