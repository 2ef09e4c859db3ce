#include "platform/prefs/PreferencesFile.h"

#include <string>

#include "platform/paths/FileAside.h"
#include "platform/paths/FileIO.h"
#include "platform/paths/FolderLock.h"
#include "platform/plist/PropertyList.h"
#include "platform/prefs/PreferencesError.h"

namespace platform {

PreferencesFile::Loaded PreferencesFile::load() const {
  auto contents = readPropertyListFile(file_);
  // A value the file's own format cannot write back (a date beyond its window, text that is not
  // UTF-8 or holds a NUL) is damage too: kept, it would make every later save fail.
  const bool writable = contents.ok() && writePropertyList(*contents, PropertyListFormat::Xml).ok();
  if (writable && contents->isDictionary()) {
    Loaded loaded;
    loaded.values = std::move(*contents->asDictionary());
    return loaded;
  }
  if (!contents.ok() && contents.error().is(kPropertyListErrorDomain, PropertyListErrorCode::FileMissing)) {
    return Loaded{};
  }

  Loaded loaded;
  loaded.problem =
      contents.ok()
          ? preferencesError(PreferencesErrorCode::DamagedFile,
                             file_.string() + (writable ? " does not hold a dictionary"
                                                        : " holds a value that cannot be written back"))
          : preferencesError(PreferencesErrorCode::DamagedFile, file_.string() + " cannot be read")
                .causedBy(contents.error());
  auto aside = moveAside();
  if (aside.ok()) {
    loaded.keptAside = *aside;
  } else {
    loaded.writable = false;
    loaded.problem->description += "; it could not be moved aside, so it is left untouched";
  }
  return loaded;
}

Result<std::filesystem::path> PreferencesFile::moveAside() const {
  Result<std::filesystem::path> aside = moveFileAside(file_, "corrupt");
  if (!aside) {
    return preferencesError(PreferencesErrorCode::DamagedFile, "Cannot move " + file_.string() + " aside")
        .causedBy(aside.error());
  }
  return aside;
}

Result<void> PreferencesFile::save(const Changes& changes, bool replacingAll, const Dictionary& held) const {
  if (auto folder = createDirectories(file_.parent_path()); !folder) return folder.error();
  // Read and written in one turn: a process saving in between would otherwise have its keys undone.
  // A folder that keeps no locks still gets the save, read afresh just before.
  const FolderLock turn(file_.parent_path());
  Dictionary values;
  // A folder in the file's place holds no domain to read or set aside; the write below fails on it.
  std::error_code ignored;
  if (!replacingAll && !std::filesystem::is_directory(file_, ignored)) {
    Loaded current = load();
    if (!current.writable) return *current.problem;
    values = current.keptAside ? held : std::move(current.values);
  }
  for (const auto& [key, value] : changes) {
    if (value) {
      values.insert_or_assign(key, *value);
    } else {
      values.erase(key);
    }
  }
  auto encoded = writePropertyList(Value(values), PropertyListFormat::Xml);
  if (!encoded) return encoded.error();
  return writeFileAtomically(file_, *encoded);
}

Result<void> PreferencesFile::remove() const {
  std::error_code error;
  std::filesystem::remove(file_, error);
  if (error) {
    return preferencesError(PreferencesErrorCode::NotPersistent,
                            "Cannot remove " + file_.string() + ": " + error.message());
  }
  return {};
}

}  // namespace platform
