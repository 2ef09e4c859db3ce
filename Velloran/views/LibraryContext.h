#pragma once
// What the library window and its pages work with: the library's view model, the environment the
// editors' view models are made with, the application's preferences, the clipboard, the workspace
// that opens the chat application, and the app shell's two sheets, made on demand.
//
// Every member is shared by the window, its pages and its sheets for the window's lifetime.

#include <QWidget>
#include <functional>
#include <memory>

#include "Velloran/viewmodels/PromptListViewModel.h"
#include "Velloran/viewmodels/ViewModelEnvironment.h"
#include "Velloran/views/Clipboard.h"
#include "platform/prefs/PreferencesDomain.h"
#include "platform/workspace/Workspace.h"

namespace velloran {

// Makes a sheet of the app shell; `dismiss` closes it and is its only way out.
using SheetFactory = std::function<QWidget*(std::function<void()> dismiss)>;

struct LibraryContext {
  std::shared_ptr<PromptListViewModel> viewModel;
  ViewModelEnvironment environment;
  // The application's preferences: "promptListHintHidden", "analyticsEnabled",
  // "analyticsPromptShown".
  std::shared_ptr<platform::PreferencesDomain> defaults;
  std::shared_ptr<Clipboard> clipboard;
  std::shared_ptr<platform::Workspace> workspace;
  // The settings sheet (behind the toolbar's settings button) and the one-time consent sheet; an
  // empty factory leaves its sheet out.
  SheetFactory makeSettingsSheet;
  SheetFactory makeConsentSheet;
};

inline constexpr const char* kHintHiddenKey = "promptListHintHidden";
inline constexpr const char* kChatURL = "chatgpt://";

}  // namespace velloran
