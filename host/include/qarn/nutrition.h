// A registered importer/converter: turns input files into output files.
#pragma once

#include <brasko/loader_progress.h>
#include <brasko/reference.h>
#include <qarn/export.h>
#include <qarn/managed_object.h>
#include <qarn/slot_container.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace Qarn {

struct VOutputScript {
  std::string shortname;
  std::string description;
};

class QARN_API VNutrition : public VSlotContainer, public VManagedDomainObject<VNutrition> {
 public:
  using FileSet = std::set<std::string>;
  using NameMap = std::function<std::string(const std::string&)>;
  struct AnalysisTexts {
    std::string log;
    std::string analysis;
  };

  explicit VNutrition(std::string name);
  ~VNutrition() override;

  std::string description;
  std::set<std::string> outputExtensions;
  std::set<std::string> genres;
  std::map<int, VOutputScript> outputScripts;

  // Calls back once per input extension, in the nutrition's order.
  void getExtensions(const std::function<void(const std::string&)>& callback) const;
  void addExtension(std::string extension);

  // Where the nutrition is shown in the application's menus.
  virtual std::string menuPath() const;
  virtual std::string getQuickInfo(const FileSet& inputs) const;
  virtual AnalysisTexts analyse(const FileSet& inputs) const;
  virtual bool isDigestible(const std::string& path) const;
  // Fills outputs with the files a conversion would write; writes nothing.
  virtual bool getOutputFiles(std::set<std::string>& outputs, const std::string& outputDir,
                              const FileSet& inputs);
  // Converts; answers the empty text on success, else an error text.
  virtual std::string convert(const std::set<std::string>& outputs, const std::string& outputDir,
                              const NameMap& nameMap, const FileSet& inputs,
                              const Brasko::StrongPtr<Brasko::LoaderProgress>& progress);

 private:
  std::vector<std::string> extensions_;
};

}  // namespace Qarn
