#pragma once
// Prompt values in and out of the store's generic objects (keys in VelloranModel.h).
//
// Reading is tolerant, because rows may have been written by another program or an older one: a
// prompt whose id, title, type, tags or dates are missing or of another kind, or whose type is not
// a known raw value, is no prompt at all; undecodable tags read as none; a missing isSystem reads as
// false; a version missing any of its attributes is left out of its prompt. A read prompt's
// versions come in the order every machine gives them (creation time, then id: both travel with a
// version unchanged, while stored numbers do not), one per id, each referring to the prompt; it has
// no runs and no snippets, which the store does not keep. Their numbers rise along that order: a
// version keeps its own number unless that is not above the one before it, and then takes the next
// one. Versions of one stamp (made on several machines, or saved together by an earlier release)
// are thus ordered by id, alike everywhere, whatever numbers they came with.
//
// Stored version numbers follow the same rule: every write of versions renumbers the prompt's
// versions, and so does every import that brings versions from other machines (two machines that
// each added "version 2" to one text end with 2 and 3, alike everywhere).
//
// A version's creation time is thus its place in the order (VersionStamps.h): a version added on
// this machine is stamped at least one tick after the newest version the prompt holds here, and
// after every other one added with it, whatever the clock or the caller's copy says, and a stored
// version keeps its stamp whatever a caller's copy of it says. Versions imported from other machines
// keep the stamps they came with.
//
// Every function works on objects of one context and belongs on that context's queue.

#include <optional>
#include <string>
#include <vector>

#include "Velloran/data/PromptValues.h"
#include "platform/error/Result.h"
#include "platform/identity/UUID.h"
#include "platform/pstore/ManagedObject.h"
#include "platform/pstore/ManagedObjectContext.h"
#include "platform/value/Value.h"

namespace velloran {

// The tags as a JSON array of strings. Tags JSON cannot carry (text that is not UTF-8) fail, so a
// save is refused rather than the tags silently dropped.
platform::Result<platform::Bytes> encodeTags(const std::vector<std::string>& tags);
// No value unless the data is a JSON array of strings.
std::optional<std::vector<std::string>> decodeTags(const platform::Bytes& data);

// The prompt held by `object`, or no value when it cannot be read as one. Fails only when the
// store cannot be read.
platform::Result<std::optional<Prompt>> readPrompt(const platform::ManagedObject& object);
// The same in two steps, for reading many prompts: every field but the versions, then the versions
// read from the prompt's version objects `members`.
std::optional<Prompt> readPromptFields(const platform::ManagedObject& object);
std::vector<PromptVersion> readVersions(const std::vector<platform::ManagedObject>& members,
                                        const platform::UUID& promptId);
// The same over values read without objects (ManagedObjectContext::fetchValues, memberValues) for
// the keys below, in their order. The values are moved out of what they were read into.
const std::vector<std::string>& promptFieldKeys();
const std::vector<std::string>& versionFieldKeys();
std::optional<Prompt> readPromptFields(platform::StoredValues& values);
std::vector<PromptVersion> readVersions(std::vector<platform::StoredValues>& members,
                                        const platform::UUID& promptId);

// The first stored prompt object with this id; when there is none, a new one with an empty title,
// type "system", no tags, not a system prompt, and both dates `now`.
platform::Result<platform::ManagedObject> findOrCreatePrompt(platform::ManagedObjectContext& context,
                                                             const platform::UUID& id, platform::Date now);

// Writes every field of the prompt except its versions (and its runs and snippets, not kept).
platform::Result<void> writePromptFields(platform::ManagedObject& object, const Prompt& prompt);

// The mirror's import rule (platform::ImportAdjustment): gives the readable versions of every
// prompt that the imported objects are or belong to the numbers of the shared order, writing only
// the numbers that change.
platform::Result<void> renumberWrittenPrompts(platform::ManagedObjectContext& context,
                                              const std::vector<platform::ManagedObject>& written);

// Brings a prompt's version objects, as a store written before versions were ordered by their
// stamps holds them, into that order without moving any: the readable ones are taken in the order
// such stores showed (number, then creation time, then id), a stamp that does not follow the one
// before it (an equal one included) takes the first stamp one tick after, and then they are
// renumbered as any write does.
// Writes only the values that change; versions whose stamps agree with their numbers stay as they
// are.
void stampInNumberOrder(const std::vector<platform::ManagedObject>& members);

// Adds the versions to the prompt object, keeping every version it holds already: the app never
// removes a version, so a caller's list that lacks some (an editor opened before another machine's
// version arrived) must not take them away. A version is one record, named by its id: one the
// prompt holds, or the store holds elsewhere, takes the given fields; any other is inserted. Each
// version's promptRef is set to `promptId` whatever the value says. A version the prompt holds
// keeps its stored stamp; those it did not hold are added in the order their given stamps, moved to
// at least one tick after the newest it held, and then their numbers give them, and each is stamped
// at least one tick after the one added before it. So no two share a stamp, and those given one
// stamp follow their numbers. Then the prompt's versions are renumbered in the shared order, so a
// given number that is taken already moves up. Version numbers are checked against 32 bits when the
// context saves, never cut.
platform::Result<void> keepVersions(platform::ManagedObjectContext& context, platform::ManagedObject& prompt,
                                    const std::vector<PromptVersion>& versions,
                                    const platform::UUID& promptId);

}  // namespace velloran
