// The main window's behaviour: the four click handlers and the program-wide
// state they share. Runs on the window thread.
#pragma once

#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "app/window.h"
#include "lookup/weight_lookup.h"

namespace rankora::app {

class Program {
 public:
  // The weight of one domain, empty when none came back; or why a component
  // could not look it up.
  using Lookup = std::function<lookup::StepResult(const std::string& domain)>;

  // `lookup` defaults to the weight service itself.
  explicit Program(Window& window, Lookup lookup = {});
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  void RunBatch();       // 按钮1
  void SaveResults();    // 按钮2
  void SortByWeight();   // 按钮3
  void OpenMakerPage();  // 超级按钮1
  void ShowAbout();      // 帮助 → 关于 Rankora

  // The path of the file last chosen in the save dialog; empty at start.
  const std::filesystem::path& SaveFileName() const { return saveFileName_; }

  // Returns once no save is still writing its file, so that ending the
  // program leaves no file half written.
  void WaitForSaves();

 private:
  // Saves still writing: their threads hold this, not the program.
  struct Saves {
    std::mutex mutex;
    std::condition_variable idle;
    int writing = 0;
  };

  Window& window_;
  Lookup lookup_;
  std::filesystem::path saveFileName_;
  std::shared_ptr<Saves> saves_ = std::make_shared<Saves>();
};

// "http://<maker's host>/?quanzhong"
std::string MakerPageAddress();

// What 关于 Rankora says (GBK): the version, who answers each component the
// lookups use (the platform or the program itself), and where the user's
// data and settings are kept.
std::string AboutText(const Places& places);

// Start-up step between the exit clean-up and the main window: parses the
// built-in serialised dictionary once and discards it. Nothing depends on
// its outcome.
void LoadStartupDictionary();
extern const char kStartupDictionary[];

}  // namespace rankora::app
