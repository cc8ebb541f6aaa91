#include "calib/field/model_file.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace field {

namespace {

constexpr const char* kFormatName = "motionstar-field-model";
constexpr int kMaxLutCount = 64;
constexpr size_t kMaxCentres = 20000;

// Content lines of a model file, split into words, with their numbers for
// the error messages.
class LineReader {
 public:
  LineReader(std::istream& in, const std::string& path) : in_(in), path_(path) {}

  // The next line that is neither blank nor a comment. At the end of the file
  // the error says what was still missing.
  bool next(const std::string& expected) {
    std::string line;
    while (std::getline(in_, line)) {
      ++lineNumber_;
      words_.clear();
      std::istringstream split(line);
      for (std::string word; split >> word;) words_.push_back(word);
      if (!words_.empty() && words_[0][0] != '#') return true;
    }
    error_ = path_ + ": the file ends after line " + std::to_string(lineNumber_) + "; expected " +
             expected;
    return false;
  }

  bool fail(const std::string& message) {
    error_ = path_ + ":" + std::to_string(lineNumber_) + ": " + message;
    return false;
  }

  // Word index is a finite number.
  bool number(size_t index, double* value) {
    const char* text = index < words_.size() ? words_[index].c_str() : "";
    char* end = nullptr;
    *value = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(*value)) {
      return fail("\"" + std::string(text) + "\" is not a finite number");
    }
    return true;
  }

  // The words from first on are exactly count finite numbers.
  bool numbers(size_t first, size_t count, double* values) {
    if (words_.size() != first + count) {
      return fail("expected " + std::to_string(first + count) + " words, found " +
                  std::to_string(words_.size()));
    }
    for (size_t i = 0; i < count; ++i) {
      if (!number(first + i, &values[i])) return false;
    }
    return true;
  }

  // Word index is a whole number within low .. high.
  bool whole(size_t index, long low, long high, const char* what, long* value) {
    double read = 0;
    if (!number(index, &read)) return false;
    if (read != std::floor(read) || read < low || read > high) {
      return fail(std::string(what) + " must be a whole number from " + std::to_string(low) +
                  " to " + std::to_string(high));
    }
    *value = static_cast<long>(read);
    return true;
  }

  bool keyword(const char* word, size_t wordCount) {
    if (words_[0] != word || words_.size() != wordCount) {
      return fail(std::string("expected \"") + word + "\" and " + std::to_string(wordCount - 1) +
                  " values, found \"" + words_[0] + "\"");
    }
    return true;
  }

  const std::vector<std::string>& words() const { return words_; }
  const std::string& error() const { return error_; }

 private:
  std::istream& in_;
  const std::string& path_;
  int lineNumber_ = 0;
  std::vector<std::string> words_;
  std::string error_;
};

bool readVectors(LineReader& lines, size_t count, size_t leading, const char* what,
                 std::vector<Vec3>* lead, std::vector<Vec3>* values) {
  for (size_t i = 0; i < count; ++i) {
    double v[6];
    if (!lines.next(std::to_string(count - i) + " more " + what) ||
        !lines.numbers(0, leading + 3, v)) {
      return false;
    }
    if (leading > 0) lead->push_back({v[0], v[1], v[2]});
    values->push_back({v[leading], v[leading + 1], v[leading + 2]});
  }
  return true;
}

bool readLut(LineReader& lines, std::unique_ptr<VectorField>* field) {
  if (!lines.next("\"counts NX NY NZ\"") || !lines.keyword("counts", 4)) return false;
  std::array<int, 3> counts;
  for (int a = 0; a < 3; ++a) {
    long n = 0;
    if (!lines.whole(1 + a, 2, kMaxLutCount, "a grid count", &n)) return false;
    counts[a] = static_cast<int>(n);
  }
  std::vector<Vec3> values;
  const size_t nodes = static_cast<size_t>(counts[0]) * counts[1] * counts[2];
  if (!readVectors(lines, nodes, 0, "grid nodes", nullptr, &values)) return false;
  *field = std::make_unique<LutField>(counts, std::move(values));
  return true;
}

bool readPoly(LineReader& lines, std::unique_ptr<VectorField>* field) {
  long terms = 0;
  const long maxTerms = static_cast<long>(PolyField::monomials(PolyField::kMaxDegree).size());
  if (!lines.next("\"terms T\"") || !lines.keyword("terms", 2) ||
      !lines.whole(1, 1, maxTerms, "the number of terms", &terms)) {
    return false;
  }
  std::vector<PolyField::Exponents> exponents;
  std::vector<Vec3> coefficients;
  for (long t = 0; t < terms; ++t) {
    if (!lines.next(std::to_string(terms - t) + " more polynomial terms")) return false;
    PolyField::Exponents e;
    for (int a = 0; a < 3; ++a) {
      long power = 0;
      if (!lines.whole(a, 0, PolyField::kMaxDegree, "an exponent", &power)) return false;
      e[a] = static_cast<int>(power);
    }
    double c[6];
    if (!lines.numbers(0, 6, c)) return false;
    exponents.push_back(e);
    coefficients.push_back({c[3], c[4], c[5]});
  }
  *field = std::make_unique<PolyField>(std::move(exponents), std::move(coefficients));
  return true;
}

bool readRbf(LineReader& lines, std::unique_ptr<VectorField>* field) {
  double shape = 0;
  long count = 0;
  if (!lines.next("\"shape C centres N\"") || !lines.keyword("shape", 4) ||
      !lines.number(1, &shape)) {
    return false;
  }
  if (!(shape > 0)) return lines.fail("the shape must be above 0");
  if (lines.words()[2] != "centres") return lines.fail("expected \"centres N\" after the shape");
  if (!lines.whole(3, 1, kMaxCentres, "the number of centres", &count)) return false;
  std::vector<Vec3> centres, weights, tail;
  if (!readVectors(lines, count, 3, "centres", &centres, &weights)) return false;
  if (!lines.next("\"tail\"") || !lines.keyword("tail", 1)) return false;
  if (!readVectors(lines, 4, 0, "tail lines", nullptr, &tail)) return false;
  *field = std::make_unique<RbfField>(shape, std::move(centres), std::move(weights),
                                      std::array<Vec3, 4>{tail[0], tail[1], tail[2], tail[3]});
  return true;
}

bool readField(LineReader& lines, const char* role, std::unique_ptr<VectorField>* field) {
  Method method;
  if (!lines.next(std::string("\"") + role + " METHOD\"")) return false;
  if (lines.words()[0] != role || lines.words().size() != 2 ||
      !parseMethod(lines.words()[1], &method)) {
    return lines.fail(std::string("expected \"") + role + " lut\", \"" + role + " poly\" or \"" +
                      role + " rbf\"");
  }
  switch (method) {
    case Method::kLut:
      return readLut(lines, field);
    case Method::kPoly:
      return readPoly(lines, field);
    case Method::kRbf:
      return readRbf(lines, field);
  }
  return false;
}

bool readFrom(LineReader& lines, FieldModel* model) {
  const std::string versionLine =
      std::string("\"") + kFormatName + " " + std::to_string(kModelVersion) + "\"";
  if (!lines.next(versionLine)) return false;
  long version = 0;
  if (lines.words()[0] != kFormatName || lines.words().size() != 2) {
    return lines.fail("not a field correction model: the first line must be " + versionLine);
  }
  if (!lines.whole(1, 1, 1000000, "the version", &version)) return false;
  if (version != kModelVersion) {
    return lines.fail("model version " + std::to_string(version) +
                      " is not supported (this reads " + std::to_string(kModelVersion) + ")");
  }
  double box[6];
  if (!lines.next("\"volume XMIN YMIN ZMIN XMAX YMAX ZMAX\"") || !lines.keyword("volume", 7) ||
      !lines.numbers(1, 6, box)) {
    return false;
  }
  FieldModel result;
  for (int a = 0; a < 3; ++a) {
    if (!(box[3 + a] > box[a]))
      return lines.fail("each maximum of the volume must exceed its minimum");
    result.volume.min[a] = box[a];
    result.volume.max[a] = box[3 + a];
  }
  if (!readField(lines, "position", &result.position) ||
      !readField(lines, "orientation", &result.orientation) || !lines.next("\"end\"") ||
      !lines.keyword("end", 1)) {
    return false;
  }
  *model = std::move(result);
  return true;
}

void writeVector(std::ostream& out, const Vec3& v) {
  out << v[0] << ' ' << v[1] << ' ' << v[2] << '\n';
}

void writeField(std::ostream& out, const char* role, const VectorField& field) {
  out << role << ' ' << methodName(field.method()) << '\n';
  switch (field.method()) {
    case Method::kLut: {
      const auto& lut = static_cast<const LutField&>(field);
      out << "counts " << lut.counts()[0] << ' ' << lut.counts()[1] << ' ' << lut.counts()[2]
          << '\n';
      for (const Vec3& v : lut.values()) writeVector(out, v);
      break;
    }
    case Method::kPoly: {
      const auto& poly = static_cast<const PolyField&>(field);
      out << "terms " << poly.exponents().size() << '\n';
      for (size_t t = 0; t < poly.exponents().size(); ++t) {
        const PolyField::Exponents& e = poly.exponents()[t];
        out << e[0] << ' ' << e[1] << ' ' << e[2] << ' ';
        writeVector(out, poly.coefficients()[t]);
      }
      break;
    }
    case Method::kRbf: {
      const auto& rbf = static_cast<const RbfField&>(field);
      out << "shape " << rbf.shape() << " centres " << rbf.centres().size() << '\n';
      for (size_t c = 0; c < rbf.centres().size(); ++c) {
        const Vec3& u = rbf.centres()[c];
        out << u[0] << ' ' << u[1] << ' ' << u[2] << ' ';
        writeVector(out, rbf.weights()[c]);
      }
      out << "tail\n";
      for (const Vec3& v : rbf.tail()) writeVector(out, v);
      break;
    }
  }
}

}  // namespace

bool readModel(const std::string& path, FieldModel* model, std::string* error) {
  std::ifstream in(path);
  if (!in) {
    *error = path + ": cannot open the file";
    return false;
  }
  LineReader lines(in, path);
  if (readFrom(lines, model)) return true;
  *error = lines.error();
  return false;
}

void writeModel(std::ostream& out, const FieldModel& model, const std::string& comment) {
  const auto precision = out.precision(17);
  out << kFormatName << ' ' << kModelVersion << '\n';
  out << "# Field distortion correction for the calibration library field_correction.\n";
  std::istringstream lines(comment);
  for (std::string line; std::getline(lines, line);) out << "# " << line << '\n';
  out << "# Feet and radians; the position and orientation fields are functions of the\n"
         "# measured position normalised to -1 .. 1 across the volume.\n";
  const Box& v = model.volume;
  out << "volume " << v.min[0] << ' ' << v.min[1] << ' ' << v.min[2] << ' ' << v.max[0] << ' '
      << v.max[1] << ' ' << v.max[2] << '\n';
  writeField(out, "position", *model.position);
  writeField(out, "orientation", *model.orientation);
  out << "end\n";
  out.precision(precision);
}

}  // namespace field
