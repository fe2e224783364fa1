#include "sim/Trace.h"

#include <algorithm>
#include <charconv>
#include <ostream>
#include <stdexcept>

namespace sim {

std::string_view OpName(AccessOp Op) {
  switch (Op) {
  case AccessOp::Read:
    return "R";
  case AccessOp::Write:
    return "W";
  case AccessOp::In:
    return "IN";
  case AccessOp::Out:
    return "OUT";
  }
  return "?";
}

namespace {
// The longest line: two 20-digit numbers, "OUT", "32", two 8-digit values and the separators.
constexpr size_t MaxLineBytes = 80;
// A version 2 record adds " 0x" and 8 digits, and a note cut to this many bytes after a space.
constexpr size_t MaxNoteBytes = 200;
constexpr size_t MaxRecordBytes = MaxLineBytes + 11 + 1 + MaxNoteBytes;
// Streamed text is handed on in blocks: one write per line would cost more than the formatting.
constexpr size_t StreamBlockBytes = 64 * 1024;
constexpr std::string_view Header = "# boardtrace 1\n";
constexpr std::string_view SitesHeader = "# boardtrace 2\n";

char* PutDecimal(char* Out, uint64_t Value) {
  // Twenty digits hold any uint64_t, so the conversion cannot run out of room.
  return std::to_chars(Out, Out + 20, Value).ptr;
}

char* PutHex(char* Out, uint32_t Value, unsigned Digits) {
  constexpr char HexDigits[] = "0123456789ABCDEF";
  *Out++ = '0';
  *Out++ = 'x';
  for (unsigned i = Digits; i-- > 0;) {
    *Out++ = HexDigits[(Value >> (4 * i)) & 0xF];
  }
  return Out;
}

// The line of A without its newline: "<seq> <time_ns> <op> <width> <address> <value>".
char* PutAccess(char* Out, const Access& A) {
  Out = PutDecimal(Out, A.Seq);
  *Out++ = ' ';
  Out = PutDecimal(Out, A.TimeNs);
  *Out++ = ' ';
  const std::string_view op = OpName(A.Op);
  Out = std::copy(op.begin(), op.end(), Out);
  *Out++ = ' ';
  Out = PutDecimal(Out, A.Width);
  *Out++ = ' ';
  Out = PutHex(Out, A.Address, 8);
  *Out++ = ' ';
  return PutHex(Out, A.Value, A.Width / 4);
}
} // namespace

void AppendAccess(std::string& Out, const Access& A) {
  char line[MaxLineBytes];
  Out.append(line, PutAccess(line, A));
}

void AppendRecord(std::string& Out, const Access& A, SiteNames* Names) {
  AppendAccess(Out, A);
  char eip[12] = {' '};
  Out.append(eip, PutHex(eip + 1, A.Eip, 8));
  if (Names != nullptr) {
    const std::string_view note = Names->Name(A.Eip);
    if (!note.empty()) {
      Out += ' ';
      Out += note.substr(0, MaxNoteBytes);
    }
  }
}

std::string FormatAccess(const Access& A) {
  std::string line;
  AppendAccess(line, A);
  return line;
}

void Trace::SetKeep(TraceKeep Keep) {
  keep_ = Keep;
  if (Keep != TraceKeep::Everything) {
    kept_.reserve(FirstKept);
  }
}

void Trace::Grow() {
  const size_t doubled = std::max<size_t>(2 * kept_.capacity(), FirstKept);
  kept_.reserve(keep_ == TraceKeep::Everything ? doubled : std::min<size_t>(doubled, KeptLimit));
}

Trace::~Trace() {
  Flush();
}

void Trace::WithSites(SiteNames* Names) {
  sites_ = true;
  recordSites_ = true;
  names_ = Names;
  if (stream_ != nullptr && count_ == 0) {
    blockBytes_ = 0;
    StreamTo(*stream_);
  }
}

void Trace::WriteHeader(std::string& Out) const {
  Out += sites_ ? SitesHeader : Header;
}

void Trace::AppendLine(std::string& Out, const Access& A) const {
  if (sites_) {
    AppendRecord(Out, A, names_);
  } else {
    AppendAccess(Out, A);
  }
}

void Trace::StreamTo(std::ostream& Out) {
  Flush();
  stream_ = &Out;
  if (!block_) {
    block_ = std::make_unique<char[]>(StreamBlockBytes + MaxRecordBytes);
  }
  const std::string_view header = sites_ ? SitesHeader : Header;
  blockBytes_ =
      static_cast<size_t>(std::copy(header.begin(), header.end(), block_.get()) - block_.get());
}

void Trace::Flush() {
  if (stream_ != nullptr && blockBytes_ != 0) {
    stream_->write(block_.get(), static_cast<std::streamsize>(blockBytes_));
    blockBytes_ = 0;
  }
}

void Trace::Append(const Access& A) {
  if (sites_) [[unlikely]] {
    std::string line;
    AppendLine(line, A);
    line += '\n';
    blockBytes_ = static_cast<size_t>(
        std::copy(line.begin(), line.end(), block_.get() + blockBytes_) - block_.get());
  } else {
    char* end = PutAccess(block_.get() + blockBytes_, A);
    *end++ = '\n';
    blockBytes_ = static_cast<size_t>(end - block_.get());
  }
  if (blockBytes_ >= StreamBlockBytes) {
    Flush();
  }
}

std::vector<Access> Trace::Recent(size_t Count) const {
  const uint64_t n = std::min<uint64_t>({Count, RecentCount, count_});
  std::vector<Access> recent;
  for (uint64_t seq = count_ - n; seq < count_; ++seq) {
    recent.push_back(recent_[seq % RecentCount]);
  }
  return recent;
}

std::string LastAccessesText(const Trace& T) {
  constexpr size_t Lines = 10;
  const std::vector<Access> accesses = T.Recent(Lines);
  std::string text = "\nlast accesses:";
  for (const Access& access : accesses) {
    text += "\n  " + FormatAccess(access);
  }
  return accesses.empty() ? text + " none" : text;
}

void Trace::Clear() {
  count_ = 0;
  kept_.clear();
  lastReads_.Clear();
  writes_ = 0;
  digest_ = 0;
}

TracePosition Trace::Position() const {
  return {count_, kept_.size(), recent_, lastReads_, writes_, digest_};
}

void Trace::Restore(const TracePosition& Position, const std::vector<Access>* From) {
  if (stream_ != nullptr) {
    throw std::logic_error("a trace written as it goes cannot go back to an earlier access");
  }
  const std::vector<Access>& source = From != nullptr ? *From : kept_;
  if (source.size() < Position.Kept) {
    throw std::logic_error("the trace does not hold the accesses kept before the checkpoint");
  }
  if (From != nullptr) {
    kept_.assign(From->begin(), From->begin() + static_cast<std::ptrdiff_t>(Position.Kept));
  } else {
    kept_.resize(Position.Kept);
  }
  count_ = Position.Count;
  recent_ = Position.Recent;
  lastReads_ = Position.LastReads;
  writes_ = Position.Writes;
  digest_ = Position.Digest;
}

void Trace::WriteText(std::ostream& Out) const {
  std::string text;
  WriteHeader(text);
  for (const Access& access : kept_) {
    AppendLine(text, access);
    text += '\n';
    if (text.size() >= StreamBlockBytes) {
      Out << text;
      text.clear();
    }
  }
  Out << text;
}

namespace {
bool ParseHex(std::string_view Field, size_t Digits, uint32_t& Out) {
  if (Field.size() != Digits + 2 || Field.substr(0, 2) != "0x") {
    return false;
  }
  for (char c : Field.substr(2)) {
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) {
      return false;
    }
  }
  return std::from_chars(Field.data() + 2, Field.data() + Field.size(), Out, 16).ec == std::errc{};
}

bool ParseDecimal(std::string_view Field, uint64_t& Out) {
  auto [end, ec] = std::from_chars(Field.data(), Field.data() + Field.size(), Out);
  return ec == std::errc{} && end == Field.data() + Field.size();
}

// Six fields, or seven with the instruction address; after that only a version 2 record's note,
// which is for a person and not read.
bool ParseLine(std::string_view Line, Access& A) {
  std::string_view fields[7];
  size_t count = 0;
  while (!Line.empty() && count < 7) {
    const size_t space = Line.find(' ');
    fields[count++] = Line.substr(0, space);
    Line = space == std::string_view::npos ? std::string_view{} : Line.substr(space + 1);
  }
  if (count < 6) {
    return false;
  }
  if (count == 7 && !ParseHex(fields[6], 8, A.Eip)) {
    return false;
  }
  const std::string_view ops[] = {"R", "W", "IN", "OUT"};
  bool knownOp = false;
  for (int op = 0; op < 4; ++op) {
    if (fields[2] == ops[op]) {
      A.Op = static_cast<AccessOp>(op);
      knownOp = true;
    }
  }
  uint64_t width = 0;
  if (!knownOp || !ParseDecimal(fields[0], A.Seq) || !ParseDecimal(fields[1], A.TimeNs) ||
      !ParseDecimal(fields[3], width) || (width != 8 && width != 16 && width != 32)) {
    return false;
  }
  A.Width = static_cast<uint8_t>(width);
  return ParseHex(fields[4], 8, A.Address) && ParseHex(fields[5], width / 4, A.Value);
}
} // namespace

bool ParseTrace(std::string_view Text, std::vector<Access>& Out, std::string& Error) {
  size_t lineNumber = 0;
  while (!Text.empty()) {
    const size_t end = Text.find('\n');
    std::string_view line = Text.substr(0, end);
    Text = end == std::string_view::npos ? std::string_view{} : Text.substr(end + 1);
    ++lineNumber;
    if (line.empty() || line.front() == '#') {
      continue;
    }
    Access access{};
    if (!ParseLine(line, access)) {
      Error = "line " + std::to_string(lineNumber) + ": not a trace record: " + std::string(line);
      return false;
    }
    Out.push_back(access);
  }
  return true;
}

} // namespace sim
