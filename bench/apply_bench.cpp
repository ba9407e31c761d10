// Wall time and peak memory of applying a whole update to a realistic tree,
// beside the physical floor (copying the new tree with cp -r) and the same
// changes applied file by file with xdelta3 -d.
//
//   apply_bench [--megabytes M] [--rounds R] [--work DIR] [--largest-file MB]
//               (defaults: 300, 3, /tmp, 16)
//
// The old tree is made of real files (programs, libraries and data from
// /usr), taken in name order until about M megabytes and a few thousand files
// are reached. The new tree changes every tenth file the way a rebuilt
// program changes: a block of code inserted, the 32-bit offsets after it
// moved, about 2% of the bytes rewritten in short runs; it also adds and
// deletes a few files.
// The package (Update items, Add items, del.files) and the xdelta3 deltas are
// made before any timing. Every timed run works on a fresh copy of the old
// tree with a warm page cache, in its own process, whose peak resident set
// (getrusage's ru_maxrss) is reported; for xdelta3, the largest of its
// per-file processes. Wall times are the best of the rounds. A last, untimed
// engine run samples its resident pages after every log line, split into
// anonymous memory and file-backed pages (the mapped package and old files).
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "engine/run_context.h"
#include "tests/support/package_writer.h"
#include "tools/make/command_apply_package.h"
#include "tools/make/difference_encoder.h"
#include "tools/make/scripted_front_end.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

Bytes ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const fs::path& path, const Bytes& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

struct Measure {
  double seconds = 0;
  long peakKilobytes = 0;
  int exitCode = 0;
};

// Runs `argv` in a new process and measures it. Called in a small launcher
// process (see Measured), so that the child's peak resident set starts from
// the launcher's few pages, not from a copy of the benchmark's memory.
Measure RunDirectly(char* const* arguments, bool quiet) {
  std::fflush(nullptr);
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = ::fork();
  if (child == 0) {
    if (quiet) {
      std::FILE* devnull = std::freopen("/dev/null", "w", stdout);
      static_cast<void>(devnull);
    }
    ::execv(arguments[0], arguments);
    std::_Exit(127);
  }
  int status = 0;
  struct rusage usage {};
  ::wait4(child, &status, 0, &usage);
  Measure m;
  m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  m.peakKilobytes = usage.ru_maxrss;
  m.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return m;
}

std::string gSelf;
fs::path gResult;

// Runs `argv` through the launcher `apply_bench --measure RESULT argv...`.
Measure RunProcess(const std::vector<std::string>& argv) {
  std::vector<std::string> all = {gSelf, "--measure", gResult.string()};
  all.insert(all.end(), argv.begin(), argv.end());
  std::vector<char*> arguments;
  for (const std::string& a : all) arguments.push_back(const_cast<char*>(a.c_str()));
  arguments.push_back(nullptr);
  const Measure launcher = RunDirectly(arguments.data(), false);
  Measure m;
  std::ifstream in(gResult);
  if (launcher.exitCode != 0 || !(in >> m.seconds >> m.peakKilobytes >> m.exitCode)) m.exitCode = -1;
  return m;
}

int Launch(char** argv) {
  const Measure m = RunDirectly(argv + 1, true);
  std::FILE* out = std::fopen(argv[0], "w");
  if (out == nullptr) return 1;
  std::fprintf(out, "%.6f %ld %d\n", m.seconds, m.peakKilobytes, m.exitCode);
  return std::fclose(out) == 0 ? 0 : 1;
}

// Real files from /usr (programs, libraries, data), in a fixed pseudo-random
// order, until both the byte and the file targets are met.
std::vector<fs::path> PickSourceFiles(uint64_t targetBytes, size_t minimumFiles, uint64_t largestFile) {
  std::vector<fs::path> all;
  for (const char* root : {"/usr/lib/x86_64-linux-gnu", "/usr/bin", "/usr/share"}) {
    std::error_code error;
    for (fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, error), end;
         it != end; it.increment(error)) {
      if (error) break;
      if (it->is_regular_file(error) && !it->is_symlink(error)) {
        const uintmax_t size = it->file_size(error);
        if (!error && size >= 512 && size <= largestFile) all.push_back(it->path());
      }
    }
  }
  std::sort(all.begin(), all.end());
  std::shuffle(all.begin(), all.end(), std::mt19937(12345));
  std::vector<fs::path> picked;
  uint64_t total = 0;
  for (size_t i = 0; i < all.size() && (total < targetBytes || picked.size() < minimumFiles); ++i) {
    picked.push_back(all[i]);
    total += fs::file_size(all[i]);
  }
  return picked;
}

// A rebuilt program: code inserted at a third, the little-endian 32-bit
// values after it that point past the insertion moved by its length, and
// short runs of rewritten bytes.
Bytes RebuiltVersion(const Bytes& old, uint32_t seed) {
  std::mt19937 random(seed);
  Bytes result = old;
  const size_t at = old.size() / 3;
  const size_t insertLength = 512 + random() % 3584;
  Bytes inserted(insertLength);
  for (size_t i = 0; i < insertLength; ++i) inserted[i] = old[(at + i * 7) % old.size()];
  result.insert(result.begin() + static_cast<long>(at), inserted.begin(), inserted.end());
  for (size_t i = at + insertLength; i + 4 <= result.size(); i += 4) {
    uint32_t value;
    std::memcpy(&value, &result[i], 4);
    if (value > at && value < old.size()) {
      value += static_cast<uint32_t>(insertLength);
      std::memcpy(&result[i], &value, 4);
    }
  }
  // Recompiled functions: about 2% of the bytes rewritten in runs of 16 to 128.
  const size_t runs = 8 + result.size() / 4096;
  for (size_t r = 0; r < runs; ++r) {
    const size_t length = 16 + random() % 113;
    const size_t start = random() % result.size();
    for (size_t i = start; i < std::min(result.size(), start + length); ++i) {
      result[i] = static_cast<uint8_t>(random());
    }
  }
  return result;
}

std::string InstallEntry(int simulate) {
  return "[INSTALL]\r\nApplyToSrc=1\r\nSimulateApplying=" + std::to_string(simulate) + "\r\n";
}

bool SameTrees(const fs::path& a, const fs::path& b) {
  std::vector<std::string> namesA, namesB;
  for (const auto& e : fs::recursive_directory_iterator(a)) {
    if (e.is_regular_file()) namesA.push_back(fs::relative(e.path(), a).string());
  }
  for (const auto& e : fs::recursive_directory_iterator(b)) {
    if (e.is_regular_file()) namesB.push_back(fs::relative(e.path(), b).string());
  }
  std::sort(namesA.begin(), namesA.end());
  std::sort(namesB.begin(), namesB.end());
  if (namesA != namesB) return false;
  for (const std::string& name : namesA) {
    if (ReadBytes(a / name) != ReadBytes(b / name)) return false;
  }
  return true;
}

// A view that samples the process's resident pages at every text: the
// anonymous ones (resident minus shared, that is minus file-backed pages such
// as the mapped package and old files) and all of them.
class SamplingView final : public ProgressView {
 public:
  void AppendText(const char*, const TextStyle&) override {
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    long size = 0, resident = 0, shared = 0;
    if (statm != nullptr && std::fscanf(statm, "%ld %ld %ld", &size, &resident, &shared) == 3) {
      const long page = ::sysconf(_SC_PAGESIZE) / 1024;
      anonymousPeak = std::max(anonymousPeak, (resident - shared) * page);
      residentPeak = std::max(residentPeak, resident * page);
    }
    if (statm != nullptr) std::fclose(statm);
  }
  void SetProgressPos(uint32_t) override {}
  void SetStageLabel(const char*) override {}
  void SetCaption(const char*) override {}
  long anonymousPeak = 0;
  long residentPeak = 0;
};

int ChildApply(const char* package, const char* folder, const char* samples) {
  DirectRunWizard::Choices choices;
  choices.sourceFolder = folder;
  AnswerScriptHost host;
  NullProgressView quiet;
  SamplingView sampling;
  DirectRunWizard wizard(choices, samples != nullptr ? static_cast<ProgressView*>(&sampling) : &quiet);
  std::string error;
  const int completion = ApplyPackageFile(package, wizard, host, error);
  if (!error.empty()) std::fprintf(stderr, "%s\n", error.c_str());
  if (samples != nullptr) {
    std::FILE* out = std::fopen(samples, "w");
    if (out == nullptr) return 1;
    std::fprintf(out, "%ld %ld\n", sampling.anonymousPeak, sampling.residentPeak);
    std::fclose(out);
  }
  return completion == 1 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--child-apply") == 0) return ChildApply(argv[2], argv[3], nullptr);
  if (argc == 5 && std::strcmp(argv[1], "--child-apply-sampled") == 0) {
    return ChildApply(argv[2], argv[3], argv[4]);
  }
  if (argc >= 4 && std::strcmp(argv[1], "--measure") == 0) return Launch(argv + 2);

  uint64_t megabytes = 300;
  uint64_t largestFileMegabytes = 16;
  int rounds = 3;
  fs::path work = fs::temp_directory_path();
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--megabytes") == 0) megabytes = std::strtoull(argv[i + 1], nullptr, 10);
    if (std::strcmp(argv[i], "--rounds") == 0) rounds = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--work") == 0) work = argv[i + 1];
    if (std::strcmp(argv[i], "--largest-file") == 0) {
      largestFileMegabytes = std::strtoull(argv[i + 1], nullptr, 10);
    }
  }
  gSelf = fs::read_symlink("/proc/self/exe").string();
  work /= "selfpatch_apply_bench";
  fs::remove_all(work);
  fs::create_directories(work);
  gResult = work / "measure.txt";
  const fs::path oldTree = work / "old", newTree = work / "new", deltas = work / "xdelta";

  // The trees, the package and the deltas: not timed.
  const std::vector<fs::path> sources = PickSourceFiles(megabytes << 20, 2000, largestFileMegabytes << 20);
  PackagePlan plan[2];
  std::vector<std::pair<std::string, bool>> changes;  // name, added (else updated)
  std::string deleted;
  uint64_t oldBytes = 0, newBytes = 0, changedBytes = 0, largestDifference = 0, largestFile = 0;
  size_t updated = 0, added = 0, removed = 0;
  for (size_t i = 0; i < sources.size(); ++i) {
    // Names as a Windows folder can hold them: no ':' or '\\' (a package
    // name with either is refused as leading out of the folder).
    std::string base = sources[i].filename().string();
    std::replace_if(base.begin(), base.end(), [](char c) { return c == ':' || c == '\\'; }, '_');
    const std::string name = "f" + std::to_string(i / 100) + "/" + std::to_string(i) + "_" + base;
    const Bytes bytes = ReadBytes(sources[i]);
    largestFile = std::max<uint64_t>(largestFile, bytes.size());
    if (i % 100 == 57) {  // deleted in the new version
      WriteBytes(oldTree / name, bytes);
      oldBytes += bytes.size();
      deleted += name + "\r\n";
      ++removed;
      continue;
    }
    if (i % 100 == 58) {  // added by the new version
      WriteBytes(newTree / name, bytes);
      newBytes += bytes.size();
      for (PackagePlan& s : plan) s.files.push_back(DeflatedFile("Add/" + name, bytes, 6));
      changes.emplace_back(name, true);
      ++added;
      continue;
    }
    WriteBytes(oldTree / name, bytes);
    oldBytes += bytes.size();
    if (i % 10 == 3) {
      const Bytes next = RebuiltVersion(bytes, static_cast<uint32_t>(i));
      WriteBytes(newTree / name, next);
      newBytes += next.size();
      changedBytes += next.size();
      Bytes difference;
      if (EncodeDifference(bytes, next, {}, {}, difference) != EncodeStatus::kEncoded) return 1;
      largestDifference = std::max<uint64_t>(largestDifference, difference.size());
      for (PackagePlan& s : plan) s.files.push_back(DeflatedFile("Update/" + name + ".df", difference, 6));
      changes.emplace_back(name, false);
      ++updated;
    } else {
      WriteBytes(newTree / name, bytes);
      newBytes += bytes.size();
    }
  }
  fs::path packages[2];
  for (int simulate = 0; simulate < 2; ++simulate) {
    plan[simulate].hostPrefix = BytesOf("MZ");
    plan[simulate].files.push_back(StoredFile("install", BytesOf(InstallEntry(simulate))));
    plan[simulate].files.push_back(StoredFile("del.files", BytesOf(deleted)));
    packages[simulate] = work / (simulate != 0 ? "package_simulate.exe" : "package.exe");
    WriteBytes(packages[simulate], BuildPackage(plan[simulate]).bytes);
  }
  for (const auto& [name, isAdded] : changes) {
    if (isAdded) continue;
    fs::create_directories((deltas / name).parent_path());
    const Measure m = RunProcess({"/usr/bin/xdelta3", "-D", "-e", "-9", "-f", "-s", (oldTree / name).string(),
                                  (newTree / name).string(), (deltas / name).string()});
    if (m.exitCode != 0) {
      std::fprintf(stderr, "xdelta3 -e failed for %s\n", name.c_str());
      return 1;
    }
  }
  uint64_t deltaBytes = 0;
  for (const auto& e : fs::recursive_directory_iterator(deltas)) {
    if (e.is_regular_file()) deltaBytes += e.file_size();
  }

  std::printf("tree: %zu files, %.1f MB old, %.1f MB new; %zu updated (%.1f MB), %zu added, %zu deleted\n",
              sources.size() - added, oldBytes / 1e6, newBytes / 1e6, updated, changedBytes / 1e6, added,
              removed);
  std::printf("package %.2f MB (xdelta3 deltas %.2f MB); largest file %.1f MB, largest difference %.2f MB\n",
              fs::file_size(packages[0]) / 1e6, deltaBytes / 1e6, largestFile / 1e6, largestDifference / 1e6);

  struct Row {
    const char* name;
    Measure best;
  };
  Row rows[4] = {{"selfpatch: check, apply", {}},
                 {"selfpatch: check, simulate, apply", {}},
                 {"xdelta3 -d file by file", {}},
                 {"cp -r new tree (floor)", {}}};
  auto keep = [](Measure& best, const Measure& m, int round) {
    if (round == 0 || m.seconds < best.seconds) best.seconds = m.seconds;
    best.peakKilobytes = std::max(best.peakKilobytes, m.peakKilobytes);
  };
  const fs::path run = work / "run";
  for (int round = 0; round < rounds; ++round) {
    for (int simulate = 0; simulate < 2; ++simulate) {
      fs::remove_all(run);
      RunProcess({"/bin/cp", "-r", oldTree.string(), run.string()});
      const Measure m = RunProcess({gSelf, "--child-apply", packages[simulate].string(), run.string()});
      if (m.exitCode != 0 || !SameTrees(run, newTree)) {
        std::fprintf(stderr, "selfpatch run did not produce the new tree\n");
        return 1;
      }
      keep(rows[simulate].best, m, round);
    }

    fs::remove_all(run);
    RunProcess({"/bin/cp", "-r", oldTree.string(), run.string()});
    Measure total;
    const auto start = std::chrono::steady_clock::now();
    for (const auto& [name, isAdded] : changes) {
      const fs::path target = run / name;
      if (isAdded) {
        fs::create_directories(target.parent_path());
        const Measure m = RunProcess({"/bin/cp", (newTree / name).string(), target.string()});
        total.peakKilobytes = std::max(total.peakKilobytes, m.peakKilobytes);
        continue;
      }
      const fs::path out = target.string() + ".new";
      const Measure m = RunProcess({"/usr/bin/xdelta3", "-D", "-d", "-f", "-s", target.string(),
                                    (deltas / name).string(), out.string()});
      if (m.exitCode != 0) return 1;
      total.peakKilobytes = std::max(total.peakKilobytes, m.peakKilobytes);
      fs::rename(out, target);
    }
    std::string line;
    std::istringstream names(deleted);
    while (std::getline(names, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!line.empty()) fs::remove(run / line);
    }
    total.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!SameTrees(run, newTree)) {
      std::fprintf(stderr, "xdelta3 run did not produce the new tree\n");
      return 1;
    }
    keep(rows[2].best, total, round);

    fs::remove_all(run);
    keep(rows[3].best, RunProcess({"/bin/cp", "-r", newTree.string(), run.string()}), round);
  }

  std::printf("\n%-36s %10s %14s   (wall: best of %d rounds)\n", "method", "wall s", "peak RSS MB",
              rounds);
  for (const Row& row : rows) {
    std::printf("%-36s %10.3f %14.1f\n", row.name, row.best.seconds, row.best.peakKilobytes / 1024.0);
  }

  // One more engine run, not timed, sampling its pages after every line of
  // the progress log.
  fs::remove_all(run);
  RunProcess({"/bin/cp", "-r", oldTree.string(), run.string()});
  const fs::path samples = work / "samples.txt";
  RunProcess({gSelf, "--child-apply-sampled", packages[1].string(), run.string(), samples.string()});
  long anonymous = 0, resident = 0;
  std::ifstream sampled(samples);
  if (sampled >> anonymous >> resident) {
    std::printf("\nselfpatch, sampled after every log line: anonymous pages at most %.1f MB, "
                "all resident pages at most %.1f MB\n",
                anonymous / 1024.0, resident / 1024.0);
  }
  fs::remove_all(work);
  return 0;
}
