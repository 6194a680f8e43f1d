// Helpers for the demo converter tests: a scratch directory, a recording
// progress sink, sample paths, parameter setting by text and a host-like run.
#pragma once

#include <demo_converters/core/ply_reader.h>
#include <demo_converters/core/point.h>
#include <demo_converters/core/xyz_reader.h>

#include <brasko/loader_progress.h>
#include <qarn/nutrition.h>
#include <qarn/parameter.h>

#include "temp_path.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace dravo::demo::testing {

namespace fs = std::filesystem;

inline std::string Sample(const std::string& name) {
  return (fs::path(DRAVO_SAMPLES_DIR) / name).string();
}

class ScratchDir {
 public:
  ScratchDir() { fs::create_directories(path_); }
  ~ScratchDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  std::string str() const { return path_.string(); }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }
  std::vector<std::string> names() const {  // sorted
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  fs::path path_ = dravo::testing::UniqueTempPath("demo");
};

class RecordingProgress : public Brasko::LoaderProgress {
 public:
  bool openingFile(const std::string& path) override { return record("open: " + path); }
  bool message(const std::string& text) override { return record("message: " + text); }
  bool notice(const std::string& text) override { return record("notice: " + text); }
  std::string log;

 private:
  bool record(const std::string& line) {
    log += line + "\n";
    return true;
  }
};

inline std::string ReadBytes(const std::string& path) {
  std::ifstream stream(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(stream), {});
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Sets name=value pairs separated by '|'.
inline void Set(Qarn::VNutrition& nutrition, const std::string& settings) {
  std::size_t start = 0;
  while (start < settings.size()) {
    const std::size_t end = std::min(settings.find('|', start), settings.size());
    const std::string pair = settings.substr(start, end - start);
    const std::size_t equals = pair.find('=');
    int index = 0;
    const auto slot = nutrition.getSlot(pair.substr(0, equals), index);
    ASSERT_TRUE(slot.alive()) << pair;
    ASSERT_TRUE(slot->parameter->setValueFromText(pair.substr(equals + 1), {}, "", false, {},
                                                  nullptr, nullptr))
        << pair;
    start = end + 1;
  }
}

// The points of a PLY file, or else of an XYZ text file.
inline std::vector<Point> ReadPoints(const std::string& path) {
  std::vector<Point> points;
  const auto add = [&](const Point& p) { points.push_back(p); };
  if (path.ends_with(".ply")) {
    ReadPlyPoints(path, add);
  } else {
    XyzSummary summary;
    ReadXyzPoints(path, {}, add, {}, summary);
  }
  return points;
}

struct RunResult {
  std::string error, log;
  std::set<std::string> predicted;
};

// getOutputFiles then convert, the way a host drives a nutrition.
inline RunResult Convert(Qarn::VNutrition& nutrition, const std::set<std::string>& inputs,
                         const std::string& outputDir) {
  RunResult result;
  nutrition.getOutputFiles(result.predicted, outputDir, inputs);
  auto progress = Brasko::MakeStrong<RecordingProgress>();
  result.error = nutrition.convert(
      result.predicted, outputDir, [](const std::string& s) { return s; }, inputs,
      Brasko::StrongPtr<Brasko::LoaderProgress>(progress));
  result.log = progress->log;
  return result;
}

}  // namespace dravo::demo::testing
