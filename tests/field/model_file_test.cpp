// The model file: every kind of field comes back as it was written, and a
// file that is bad or cut short is refused with the line that is wrong.
#include "calib/field/model_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>

#include "field_models.h"

namespace {

using field::Vec3;

std::string tempPath(const std::string& name) {
  return ::testing::TempDir() + "field_model_" + name;
}

std::string writeText(const std::string& name, const std::string& text) {
  const std::string path = tempPath(name);
  std::ofstream(path) << text;
  return path;
}

std::vector<Vec3> randomVectors(std::mt19937& engine, size_t count) {
  std::uniform_real_distribution<double> value(-1.0, 1.0);
  std::vector<Vec3> v;
  for (size_t i = 0; i < count; ++i) v.push_back({value(engine), value(engine), value(engine)});
  return v;
}

TEST(ModelFile, EveryKindOfFieldComesBackAsItWasWritten) {
  std::mt19937 engine(8);
  field::FieldModel written;
  written.volume = {{-3.5, -2.25, -4.0}, {3.75, 2.5, 4.125}};
  written.position =
      std::make_unique<field::LutField>(std::array<int, 3>{3, 4, 2}, randomVectors(engine, 24));
  written.orientation = std::make_unique<field::RbfField>(
      0.37, randomVectors(engine, 5), randomVectors(engine, 5),
      std::array<Vec3, 4>{Vec3{0.1, 0.2, 0.3}, Vec3{-1e-9, 2e-12, 3.0}, Vec3{0, 0, 0},
                          Vec3{1, 1, 1}});
  field::FieldModel polynomial;
  polynomial.volume = written.volume;
  polynomial.position =
      std::make_unique<field::PolyField>(field::PolyField::monomials(3), randomVectors(engine, 20));
  polynomial.orientation = constantField({1e-3, -2e-3, 3e-3});

  for (const field::FieldModel* model : {&written, &polynomial}) {
    const std::string path = tempPath("roundtrip.model");
    {
      std::ofstream out(path);
      field::writeModel(out, *model, "a test\nof two lines");
    }
    field::FieldModel read;
    std::string error;
    ASSERT_TRUE(field::readModel(path, &read, &error)) << error;
    EXPECT_EQ(read.volume.min, model->volume.min);
    EXPECT_EQ(read.volume.max, model->volume.max);
    EXPECT_EQ(read.position->method(), model->position->method());
    EXPECT_EQ(read.orientation->method(), model->orientation->method());
    std::uniform_real_distribution<double> inside(-1.0, 1.0);
    for (int n = 0; n < 50; ++n) {
      const Vec3 u{inside(engine), inside(engine), inside(engine)};
      // Seventeen digits: the same doubles.
      EXPECT_EQ(read.position->evaluate(u), model->position->evaluate(u));
      EXPECT_EQ(read.orientation->evaluate(u), model->orientation->evaluate(u));
    }
  }
}

struct BadFile {
  const char* name;
  std::string text;
  std::string error;  // after the path
};

// A good file to cut and spoil: version, volume, a 2x2x2 table, a constant.
const std::string kHead = "motionstar-field-model 1\n# comment\nvolume -1 -1 -1 1 1 1\n";
const std::string kTable =
    "position lut\ncounts 2 2 2\n0 0 0\n0 0 0\n0 0 0\n0 0 0\n0 0 0\n0 0 0\n0 0 0\n0 0 0\n";
const std::string kConstant = "orientation poly\nterms 1\n0 0 0 0.1 0 0\n";

TEST(ModelFile, ABadOrTruncatedFileIsRefusedWithItsLine) {
  const std::vector<BadFile> cases = {
      {"good", kHead + kTable + kConstant + "end\n", ""},
      {"empty", "", ": the file ends after line 0; expected \"motionstar-field-model 1\""},
      {"other", "some other file\n",
       ":1: not a field correction model: the first line must be \"motionstar-field-model 1\""},
      {"version", "motionstar-field-model 2\n",
       ":1: model version 2 is not supported (this reads 1)"},
      {"volume", "motionstar-field-model 1\nvolume -1 -1 -1 1 -1 1\n",
       ":2: each maximum of the volume must exceed its minimum"},
      {"number", "motionstar-field-model 1\nvolume -1 -1 -1 1 1 x1\n",
       ":2: \"x1\" is not a finite number"},
      {"infinite", "motionstar-field-model 1\nvolume -1 -1 -1 1 1 inf\n",
       ":2: \"inf\" is not a finite number"},
      {"method", kHead + "position spline\n",
       ":4: expected \"position lut\", \"position poly\" or \"position rbf\""},
      {"counts", kHead + "position lut\ncounts 2 1 2\n",
       ":5: a grid count must be a whole number from 2 to 64"},
      {"cut table", kHead + kTable.substr(0, kTable.size() - 12),
       ": the file ends after line 11; expected 2 more grid nodes"},
      {"short node", kHead + "position lut\ncounts 2 2 2\n0 0\n", ":6: expected 3 words, found 2"},
      {"exponent", kHead + kTable + "orientation poly\nterms 1\n0 13 0 0.1 0 0\n",
       ":16: an exponent must be a whole number from 0 to 12"},
      {"shape", kHead + kTable + "orientation rbf\nshape 0 centres 1\n",
       ":15: the shape must be above 0"},
      {"no tail", kHead + kTable + "orientation rbf\nshape 0.5 centres 1\n0 0 0 1 1 1\n",
       ": the file ends after line 16; expected \"tail\""},
      {"no end", kHead + kTable + kConstant, ": the file ends after line 16; expected \"end\""},
  };
  for (const BadFile& c : cases) {
    const std::string path = writeText(c.name, c.text);
    field::FieldModel model = linearModel({{0, 0, 0}, {1, 1, 1}}, 0.5, 0.0);
    std::string error;
    const bool read = field::readModel(path, &model, &error);
    if (c.error.empty()) {
      EXPECT_TRUE(read) << c.name << ": " << error;
      continue;
    }
    EXPECT_FALSE(read) << c.name;
    EXPECT_EQ(error, path + c.error) << c.name;
    // A refused file leaves the model it was to replace.
    EXPECT_EQ(model.volume.max[0], 1.0) << c.name;
  }
  std::string error;
  field::FieldModel model;
  EXPECT_FALSE(field::readModel(tempPath("missing"), &model, &error));
  EXPECT_EQ(error, tempPath("missing") + ": cannot open the file");
}

}  // namespace
