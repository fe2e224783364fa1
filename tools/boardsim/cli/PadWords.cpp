#include "tools/boardsim/cli/PadWords.h"

#include "common/Printable.h"

#include <algorithm>

namespace boardsim {

namespace {

// A word --pads takes: a pad, never an option or a slot name.
bool IsPadWord(const std::string& Word) {
  return !Word.starts_with("-") && Word.find(':') != std::string::npos;
}

PadRef ParsePadWord(const std::string& Word) {
  PadRef pad{};
  std::string error;
  if (!ParsePadRef(Word, pad, error)) {
    BadInput("--pads: '" + tools::Printable(Word) + "': " + error);
  }
  return pad;
}

} // namespace

PadList TakePadWords(std::vector<std::string>& Words, const std::vector<std::string>& Commands,
                     const std::vector<std::string>& WithPads) {
  const auto command = std::find_if(Words.begin(), Words.end(), [&](const std::string& Arg) {
    return Arg == "--" || std::find(Commands.begin(), Commands.end(), Arg) != Commands.end();
  });
  if (command == Words.end() ||
      std::find(WithPads.begin(), WithPads.end(), *command) == WithPads.end()) {
    return {};
  }
  PadList list;
  std::optional<std::vector<PadRef>>& pads = list.Pads;
  std::vector<std::string> kept(Words.begin(), command + 1);
  for (auto word = command + 1; word != Words.end(); ++word) {
    if (*word == "--") {
      kept.insert(kept.end(), word, Words.end());
      break;
    }
    if (*word == "--pads" || word->starts_with("--pads=")) {
      if (!pads) {
        pads.emplace();
      }
      if (word->starts_with("--pads=")) {
        pads->push_back(ParsePadWord(word->substr(std::string("--pads=").size())));
        continue;
      }
      if (word + 1 != Words.end() && *(word + 1) == "changed") {
        list.ChangedOnly = true;
        ++word;
      }
      while (word + 1 != Words.end() && IsPadWord(*(word + 1))) {
        pads->push_back(ParsePadWord(*++word));
      }
      continue;
    }
    kept.push_back(*word);
  }
  Words = kept;
  return list;
}

} // namespace boardsim
