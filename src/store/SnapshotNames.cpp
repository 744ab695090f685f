#include "SnapshotNames.h"

#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <memory>

namespace mlfk {

std::string snapshotTimestamp(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  char text[64];
  std::strftime(text, sizeof text, "%Y-%m-%d %H-%M-%S", &local);
  return text;
}

std::string cleanSnapshotReason(std::string_view reason) {
  std::string replaced(reason);
  std::replace(replaced.begin(), replaced.end(), '/', '-');

  icu::UnicodeString text = icu::UnicodeString::fromUTF8(replaced);
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::BreakIterator> characters(
      icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
  if (U_FAILURE(status)) return replaced;
  characters->setText(text);

  int32_t end = characters->first();
  for (size_t count = 0; count < kReasonLength; ++count) {
    int32_t next = characters->next();
    if (next == icu::BreakIterator::DONE) return replaced;  // short enough already
    end = next;
  }
  if (end >= text.length()) return replaced;
  std::string cut;
  text.tempSubString(0, end).toUTF8String(cut);
  return cut;
}

std::string snapshotFileName(std::time_t when, std::string_view reason) {
  return snapshotTimestamp(when) + " " + cleanSnapshotReason(reason) + ".json";
}

std::vector<std::string> snapshotsToPrune(std::vector<std::string> names, size_t keep,
                                          std::string_view spare) {
  if (names.size() <= keep) return {};
  const size_t excess = names.size() - keep;
  std::erase(names, spare);
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);

  // UTF-8 byte order is code point order, so decomposed UTF-8 compares as
  // the scalar-by-scalar comparison of the decomposed texts.
  struct Entry {
    std::string key;
    std::string name;
  };
  std::vector<Entry> entries;
  entries.reserve(names.size());
  for (auto& name : names) {
    std::string key;
    if (U_SUCCESS(status)) {
      UErrorCode normalised = U_ZERO_ERROR;
      icu::UnicodeString decomposed =
          nfd->normalize(icu::UnicodeString::fromUTF8(name), normalised);
      if (U_SUCCESS(normalised)) decomposed.toUTF8String(key);
    }
    if (key.empty()) key = name;
    entries.push_back({std::move(key), std::move(name)});
  }
  std::stable_sort(entries.begin(), entries.end(),
                   [](const Entry& a, const Entry& b) { return a.key < b.key; });

  std::vector<std::string> doomed;
  for (size_t i = 0; i < std::min(excess, entries.size()); ++i)
    doomed.push_back(std::move(entries[i].name));
  return doomed;
}

}  // namespace mlfk
