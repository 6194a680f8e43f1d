// A nutrition whose behaviour each test scripts with callbacks, a guard that
// registers nutritions for one test and removes them after, and the registry's
// nutritions by name.
#pragma once

#include <qarn/nutrition.h>

#include <climits>
#include <functional>
#include <string>
#include <vector>

namespace dravo::testing {

using Names = std::vector<std::string>;

// The registered nutritions' names in registry order, by priority bounds.
inline Names NutritionNames(int lowest = INT_MIN, int highest = INT_MAX) {
  Names names;
  Qarn::VManagedObject::iterate(
      Qarn::VNutrition::domainType(),
      [&](int, const Brasko::StrongPtr<Qarn::VManagedObject>&, const std::string& name) {
        names.push_back(name);
        return true;
      },
      lowest, highest);
  return names;
}

class TestNutrition : public Qarn::VNutrition {
 public:
  using VNutrition::VNutrition;

  std::function<std::string(const FileSet&)> quickInfo;
  std::function<AnalysisTexts(const FileSet&)> analysis;
  std::function<bool(const std::string&)> digestible;
  std::function<void(std::set<std::string>&, const std::string&, const FileSet&)> outputFiles;
  std::function<std::string(const std::set<std::string>&, const std::string&, const NameMap&,
                            const FileSet&, const Brasko::StrongPtr<Brasko::LoaderProgress>&)>
      conversion;

  std::string getQuickInfo(const FileSet& inputs) const override {
    return quickInfo ? quickInfo(inputs) : VNutrition::getQuickInfo(inputs);
  }
  AnalysisTexts analyse(const FileSet& inputs) const override {
    return analysis ? analysis(inputs) : AnalysisTexts{};
  }
  bool isDigestible(const std::string& path) const override {
    return digestible ? digestible(path) : VNutrition::isDigestible(path);
  }
  bool getOutputFiles(std::set<std::string>& outputs, const std::string& outputDir,
                      const FileSet& inputs) override {
    if (outputFiles) outputFiles(outputs, outputDir, inputs);
    return true;
  }
  std::string convert(const std::set<std::string>& outputs, const std::string& outputDir,
                      const NameMap& nameMap, const FileSet& inputs,
                      const Brasko::StrongPtr<Brasko::LoaderProgress>& progress) override {
    return conversion ? conversion(outputs, outputDir, nameMap, inputs, progress) : std::string();
  }
};

// Registers objects for the life of the guard.
class RegisteredObjects {
 public:
  RegisteredObjects() = default;
  RegisteredObjects(const RegisteredObjects&) = delete;
  RegisteredObjects& operator=(const RegisteredObjects&) = delete;
  ~RegisteredObjects() {
    for (auto& object : objects_) Qarn::VManagedObject::unregisterObject(object.get());
  }

  Brasko::StrongPtr<TestNutrition> add(const std::string& name) {
    auto nutrition = Brasko::MakeStrong<TestNutrition>(name);
    add(Qarn::VNutrition::domainType(), nutrition);
    return nutrition;
  }
  void add(Qarn::VManagedObject::TypeId type, const Brasko::StrongPtr<Qarn::VManagedObject>& o) {
    Qarn::VManagedObject::registerObject(type, o);
    objects_.push_back(o);
  }

 private:
  std::vector<Brasko::StrongPtr<Qarn::VManagedObject>> objects_;
};

}  // namespace dravo::testing
