#include <qarn/nutrition.h>

#include <filesystem>

namespace Qarn {

VNutrition::VNutrition(std::string name) : VManagedDomainObject<VNutrition>(std::move(name)) {}
VNutrition::~VNutrition() = default;

void VNutrition::getExtensions(const std::function<void(const std::string&)>& callback) const {
  for (const auto& extension : extensions_) callback(extension);
}

void VNutrition::addExtension(std::string extension) {
  extensions_.push_back(std::move(extension));
}

std::string VNutrition::menuPath() const {
  return "File/Import";
}

std::string VNutrition::getQuickInfo(const FileSet& inputs) const {
  return std::to_string(inputs.size()) + (inputs.size() == 1 ? " file" : " files");
}

VNutrition::AnalysisTexts VNutrition::analyse(const FileSet&) const {
  return {};
}

bool VNutrition::isDigestible(const std::string& path) const {
  const std::u8string u8(path.begin(), path.end());
  std::string extension;
  try {
    const auto ext = std::filesystem::path(u8).extension().u8string();
    if (!ext.empty()) extension.assign(ext.begin() + 1, ext.end());
  } catch (const std::exception&) {
    return false;
  }
  for (const auto& known : extensions_)
    if (known == extension) return true;
  return false;
}

bool VNutrition::getOutputFiles(std::set<std::string>&, const std::string&, const FileSet&) {
  return true;
}

std::string VNutrition::convert(const std::set<std::string>&, const std::string&, const NameMap&,
                                const FileSet&, const Brasko::StrongPtr<Brasko::LoaderProgress>&) {
  return "This nutrition has no conversion.";
}

}  // namespace Qarn
