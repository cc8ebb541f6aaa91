#include "tools/calibrate/survey_table.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <ostream>

namespace calibrate {

namespace {

const std::vector<std::string> kPairColumns = {"mx", "my", "mz", "maz", "mel", "mro",
                                               "tx", "ty", "tz", "taz", "tel", "tro"};
const std::vector<std::string> kPlanColumns = {"x", "y", "z", "az", "el", "roll"};
// Significant digits written: far below a thousandth of an inch or a degree.
constexpr int kDigits = 9;

std::string trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") + 1 - first);
}

std::vector<std::string> fieldsOf(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    const size_t comma = line.find(',', start);
    fields.push_back(trimmed(line.substr(start, comma - start)));
    if (comma == std::string::npos) return fields;
    start = comma + 1;
  }
}

std::string joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ",") + name;
  return text;
}

void writeRow(std::ostream& out, const PoseRow& pose, char end) {
  out << pose.position[0] << ',' << pose.position[1] << ',' << pose.position[2] << ','
      << pose.angles[0] << ',' << pose.angles[1] << ',' << pose.angles[2] << end;
}

}  // namespace

bool readCsvTable(std::istream& in, const std::string& path,
                  const std::vector<std::string>& columns, std::vector<std::vector<double>>* rows,
                  std::string* error) {
  bool headerSeen = false;
  int lineNumber = 0;
  const auto fail = [&](const std::string& message) {
    *error = path + ":" + std::to_string(lineNumber) + ": " + message;
    return false;
  };
  for (std::string line; std::getline(in, line);) {
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string content = trimmed(line);
    if (content.empty() || content[0] == '#') continue;
    const std::vector<std::string> fields = fieldsOf(content);
    if (!headerSeen) {
      if (fields.size() < columns.size() ||
          !std::equal(columns.begin(), columns.end(), fields.begin())) {
        return fail("the header must begin with " + joined(columns));
      }
      headerSeen = true;
      continue;
    }
    if (fields.size() < columns.size()) {
      return fail("expected " + std::to_string(columns.size()) + " values, found " +
                  std::to_string(fields.size()));
    }
    std::vector<double> row(columns.size());
    for (size_t i = 0; i < columns.size(); ++i) {
      const char* text = fields[i].c_str();
      char* end = nullptr;
      row[i] = std::strtod(text, &end);
      if (end == text || *end != '\0' || !std::isfinite(row[i])) {
        return fail(columns[i] + " is not a finite number: \"" + fields[i] + "\"");
      }
    }
    rows->push_back(std::move(row));
  }
  if (!headerSeen) {
    *error = path + ": no header line (" + joined(columns) + ")";
    return false;
  }
  return true;
}

namespace {

bool readTableFile(const std::string& path, const std::vector<std::string>& columns,
                   std::vector<std::vector<double>>* rows, std::string* error) {
  std::ifstream in(path);
  if (!in) {
    *error = path + ": cannot open the file";
    return false;
  }
  return readCsvTable(in, path, columns, rows, error);
}

}  // namespace

bool readPlan(const std::string& path, std::vector<PoseRow>* poses, std::string* error) {
  std::vector<std::vector<double>> rows;
  if (!readTableFile(path, kPlanColumns, &rows, error)) return false;
  poses->clear();
  for (const std::vector<double>& r : rows)
    poses->push_back({{r[0], r[1], r[2]}, {r[3], r[4], r[5]}});
  return true;
}

bool readPairs(const std::string& path, std::vector<SurveyPair>* pairs, std::string* error) {
  std::vector<std::vector<double>> rows;
  if (!readTableFile(path, kPairColumns, &rows, error)) return false;
  pairs->clear();
  for (const std::vector<double>& r : rows) {
    pairs->push_back(
        {{{r[0], r[1], r[2]}, {r[3], r[4], r[5]}}, {{r[6], r[7], r[8]}, {r[9], r[10], r[11]}}});
  }
  return true;
}

void writePairs(std::ostream& out, const std::vector<SurveyPair>& pairs) {
  writePairsHeader(out);
  for (const SurveyPair& pair : pairs) writePairRow(out, pair);
}

void writePairsHeader(std::ostream& out, const std::vector<std::string>& furtherColumns) {
  out << joined(kPairColumns);
  for (const std::string& name : furtherColumns) out << ',' << name;
  out << '\n';
}

void writePairRow(std::ostream& out, const SurveyPair& pair, const std::vector<double>& further) {
  const auto precision = out.precision(kDigits);
  writeRow(out, pair.measured, ',');
  writeRow(out, pair.truth, further.empty() ? '\n' : ',');
  for (size_t i = 0; i < further.size(); ++i) {
    out << further[i] << (i + 1 < further.size() ? ',' : '\n');
  }
  out.precision(precision);
}

void writePlan(std::ostream& out, const std::vector<PoseRow>& poses) {
  const auto precision = out.precision(kDigits);
  out << joined(kPlanColumns) << '\n';
  for (const PoseRow& pose : poses) writeRow(out, pose, '\n');
  out.precision(precision);
}

}  // namespace calibrate
