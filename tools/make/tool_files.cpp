// Whole-file input and output for selfpatch-make.
#include "tools/make/tool_files.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>

#include "platform/system_error.h"

namespace {

constexpr uint32_t kAttributeReadOnly = 0x01;
constexpr uint32_t kAttributeArchive = 0x20;

}  // namespace

std::string LastSystemErrorText() {
  const uint32_t code = platform::LastErrorCode();
  std::string text = platform::ErrorMessageText(code);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  if (text.empty()) text = "system error " + std::to_string(code);
  return text;
}

bool InputFile::Open(const char* path, std::string& error) {
  file_ = platform::File::OpenForReading(path);
  if (!file_.IsOpen()) {
    error = std::string("cannot open ") + path + ": " + LastSystemErrorText();
    return false;
  }
  platform::SetLastErrorCode(0);
  const uint64_t size = file_.Size();
  if (size == 0) {
    if (platform::LastErrorCode() != 0) {
      error = std::string("cannot read the size of ") + path + ": " + LastSystemErrorText();
      return false;
    }
    bytes_ = {};
    return true;
  }
  mapping_ = platform::FileMapping::MapReadOnly(file_);
  if (!mapping_.IsMapped()) {
    error = std::string("cannot map ") + path + ": " + LastSystemErrorText();
    return false;
  }
  bytes_ = std::span<const uint8_t>(mapping_.data(), static_cast<size_t>(mapping_.size()));
  return true;
}

bool WriteWholeFile(const char* path, std::span<const uint8_t> bytes, std::string& error) {
  platform::File file = platform::File::CreateForWriting(path);
  if (!file.IsOpen()) {
    error = std::string("cannot create ") + path + ": " + LastSystemErrorText();
    return false;
  }
  size_t done = 0;
  while (done < bytes.size()) {
    const auto chunk = static_cast<uint32_t>(std::min<size_t>(bytes.size() - done, 1u << 24));
    uint32_t written = 0;
    if (!file.Write(bytes.data() + done, chunk, &written) || written != chunk) {
      error = std::string("cannot write ") + path + ": " + LastSystemErrorText();
      file.Close();
      std::remove(path);
      return false;
    }
    done += chunk;
  }
  file.Close();
  return true;
}

DifferenceFileFacts ReadFileFacts(const char* path) {
  DifferenceFileFacts facts;
  std::error_code failure;
  const std::filesystem::path where(path);
  const auto status = std::filesystem::status(where, failure);
  if (!failure) {
    const bool writable = (status.permissions() & std::filesystem::perms::owner_write) !=
                          std::filesystem::perms::none;
    facts.attributes = kAttributeArchive | (writable ? 0 : kAttributeReadOnly);
  }
  const auto written = std::filesystem::last_write_time(where, failure);
  if (failure) return facts;
  const std::time_t seconds = std::chrono::system_clock::to_time_t(
      std::chrono::time_point_cast<std::chrono::system_clock::duration>(
          std::chrono::file_clock::to_sys(written)));
  const std::tm* local = std::localtime(&seconds);
  if (local == nullptr || local->tm_year < 80 || local->tm_year > 207) return facts;
  const uint32_t date = static_cast<uint32_t>((local->tm_year - 80) << 9 | (local->tm_mon + 1) << 5 |
                                              local->tm_mday);
  const uint32_t time = static_cast<uint32_t>(local->tm_hour << 11 | local->tm_min << 5 |
                                              local->tm_sec / 2);
  facts.dosStamp = date << 16 | time;
  return facts;
}
