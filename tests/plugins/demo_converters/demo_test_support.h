// Helpers for the demo converter tests: a scratch directory, a recording
// progress sink, sample paths and parameter setting by text.
#pragma once

#include <demo_converters/core/point.h>
#include <demo_converters/core/xyz_reader.h>

#include <brasko/loader_progress.h>
#include <qarn/nutrition.h>
#include <qarn/parameter.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace dravo::demo::testing {

namespace fs = std::filesystem;

inline fs::path Sample(const std::string& name) {
  return fs::path(DRAVO_SAMPLES_DIR) / name;
}

class ScratchDir {
 public:
  ScratchDir() {
    std::random_device seed;
    path_ = fs::temp_directory_path() / ("dravo_demo_" + std::to_string(seed()));
    fs::create_directories(path_);
  }
  ~ScratchDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }
  std::string str() const { return path_.string(); }
  // Every file name in the directory, sorted.
  std::vector<std::string> names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  fs::path path_;
};

class RecordingProgress : public Brasko::LoaderProgress {
 public:
  bool openingFile(const std::string& path) override { return record("open: " + path); }
  bool message(const std::string& text) override { return record("message: " + text); }
  bool notice(const std::string& text) override { return record("notice: " + text); }
  std::vector<std::string> texts;
  std::string all() const {
    std::string joined;
    for (const auto& text : texts) joined += text + "\n";
    return joined;
  }

 private:
  bool record(std::string text) {
    texts.push_back(std::move(text));
    return true;
  }
};

inline std::string ReadBytes(const fs::path& path) {
  std::ifstream stream(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(stream), {});
}

inline void WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline void Set(Qarn::VNutrition& nutrition, const std::string& name, const std::string& value) {
  int index = 0;
  const auto slot = nutrition.getSlot(name, index);
  ASSERT_TRUE(slot.alive()) << name;
  ASSERT_TRUE(slot->parameter->setValueFromText(value, {}, "", false, {}, nullptr, nullptr))
      << name << "=" << value;
}

inline std::vector<Point> ReadXyzFile(const fs::path& path, XyzOptions options = {}) {
  std::vector<Point> points;
  XyzSummary summary;
  ReadXyzPoints(
      path, options, [&](const Point& p) { points.push_back(p); }, {}, summary);
  return points;
}

struct RunResult {
  std::string error;
  std::vector<std::string> log;
  std::set<std::string> predicted;
};

// getOutputFiles then convert, the way a host drives a nutrition.
inline RunResult Convert(Qarn::VNutrition& nutrition, const std::set<std::string>& inputs,
                         const fs::path& outputDir) {
  RunResult result;
  nutrition.getOutputFiles(result.predicted, outputDir.string(), inputs);
  auto progress = Brasko::MakeStrong<RecordingProgress>();
  result.error = nutrition.convert(
      result.predicted, outputDir.string(), [](const std::string& s) { return s; }, inputs,
      Brasko::StrongPtr<Brasko::LoaderProgress>(progress));
  result.log = progress->texts;
  return result;
}

}  // namespace dravo::demo::testing
