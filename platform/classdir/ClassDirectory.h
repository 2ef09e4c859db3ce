#pragma once
// The class directory answers "is a class named X linked into this program" and, for a class that
// is, which typed capabilities (facets) it offers. Components announce their classes by explicit
// registration calls made in a fixed order from the program's composition root (and from tests, with
// fakes) — never from static initialisers, which the linker drops when nothing references them and
// whose order is unspecified.
//
// A facet is a small interface declared next to the code that consumes it. Asking an entry for a
// facet it was not registered with yields nullptr: the class "does not answer" that question.
//
// Ownership: the directory owns its entries; a `const ClassEntry*` stays valid until the directory
// is destroyed or reset. Entries never change after registration, so reading facets needs no lock.
// Thread-safe: registration and lookup may come from any thread.

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeindex>
#include <typeinfo>
#include <unordered_map>

namespace platform {

class ClassEntry {
 public:
  const std::string& name() const { return name_; }

  // The facet registered under exactly the type F, or nullptr. Facets are found by the type they
  // were registered as, so register the interface type, not the implementing class.
  template <class F>
  F* facet() const {
    auto found = facets_.find(std::type_index(typeid(F)));
    return found == facets_.end() ? nullptr : static_cast<F*>(found->second.get());
  }

 private:
  friend class ClassDirectory;
  explicit ClassEntry(std::string name) : name_(std::move(name)) {}

  std::string name_;
  std::unordered_map<std::type_index, std::shared_ptr<void>> facets_;
};

class ClassDirectory {
 public:
  ClassDirectory() = default;
  ClassDirectory(const ClassDirectory&) = delete;
  ClassDirectory& operator=(const ClassDirectory&) = delete;

  // The process-wide directory that the program's components consult.
  static ClassDirectory& shared();

  // Registers the class `name` with the given facets, each stored under its static type. The first
  // registration of a name wins and later ones leave it untouched, so an announcement made twice is
  // harmless; the entry now known under `name` is returned either way.
  template <class... Facets>
  const ClassEntry& registerClass(std::string name, std::shared_ptr<Facets>... facets) {
    static_assert(facetTypesDistinct<Facets...>(), "a class offers each facet type at most once");
    auto entry = std::unique_ptr<ClassEntry>(new ClassEntry(std::move(name)));
    (entry->facets_.emplace(std::type_index(typeid(Facets)), std::move(facets)), ...);
    return insert(std::move(entry));
  }

  // The class named `name`, or nullptr when no such class is linked into this program.
  const ClassEntry* lookup(std::string_view name) const;

  // Forgets every registration. Only for tests: entries handed out before are destroyed.
  void resetForTesting();

 private:
  template <class... Ts>
  static constexpr bool facetTypesDistinct() {
    if constexpr (sizeof...(Ts) < 2) {
      return true;
    } else {
      return distinctFromRest<Ts...>();
    }
  }
  template <class First, class... Rest>
  static constexpr bool distinctFromRest() {
    return (!std::is_same_v<First, Rest> && ...) && facetTypesDistinct<Rest...>();
  }

  const ClassEntry& insert(std::unique_ptr<ClassEntry> entry);

  mutable std::mutex mutex_;
  std::map<std::string, std::unique_ptr<ClassEntry>, std::less<>> entries_;
};

}  // namespace platform
