// Inputs named on the command line are regular files of a bounded size, read whole. A device may
// never end and a FIFO may never be written to, or change between two reads: both are refused at
// once, without waiting for a writer.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace files {

// Why a file cannot be read as an input. The message does not name the file: the caller names it
// as its other messages do.
class InputError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Path read whole. Refuses a directory, a device, a FIFO, and a file larger than Limit bytes
// (what names the kind of input in that message: "an image"). A file that grows while it is read
// is caught too: no more than Limit + 1 bytes are ever held.
std::vector<uint8_t> ReadInput(const std::string& Path, uint64_t Limit, const std::string& What);

} // namespace files
