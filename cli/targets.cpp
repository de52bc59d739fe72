#include "targets.h"

#include "exit_codes.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <set>
#include <thread>

namespace cli {

void addTargetOptions(CLI::App& command, Targets& targets)
{
    command.add_option("FILE", targets.files,
                       "The admins files; standard input when none is given or for \"-\". Several take -i or "
                       "--dry-run");
    command.add_option("--targets", targets.listFile,
                       "A file naming more targets, one per line (blank lines and lines starting with # are skipped)");
    command.add_option("--jobs", targets.jobs, "How many targets are changed at a time (default 4)")
        ->check(CLI::Range(1, 64));
}

std::optional<std::vector<std::string>> targetNames(Console& console, std::string_view command, const Targets& targets)
{
    std::vector<std::string> names = targets.files;
    if (!targets.listFile.empty()) {
        const std::optional<std::string> list = loadInput(console, targets.listFile);
        if (!list)
            return std::nullopt;
        std::size_t start = 0;
        while (start < list->size()) {
            std::size_t end = list->find('\n', start);
            end = end == std::string::npos ? list->size() : end;
            std::string_view line(list->data() + start, end - start);
            start = end + 1;
            while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
                line.remove_suffix(1);
            while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
                line.remove_prefix(1);
            if (!line.empty() && line.front() != '#')
                names.emplace_back(line);
        }
        if (names.empty()) {
            complain(console, std::string(command) + ": " + displayName(targets.listFile) + " names no target");
            return std::nullopt;
        }
    }
    if (names.empty())
        names.emplace_back("-");
    std::set<std::string> seen;
    for (const std::string& name : names) {
        if (!seen.insert(name).second) {
            complain(console, std::string(command) + ": " + displayName(name) + " is named twice");
            return std::nullopt;
        }
        if (name == "-" && names.size() > 1) {
            complain(console, std::string(command) + ": standard input (\"-\") cannot be one of several targets");
            return std::nullopt;
        }
    }
    return names;
}

int forEachTarget(Console& console, const std::vector<std::string>& names, unsigned jobs,
                  const std::function<int(Console&, const std::string&)>& one)
{
    if (names.size() == 1)
        return one(console, names.front());

    struct Run {
        std::string out;
        std::string err;
        int code = kExitTrouble;
        bool done = false;
    };
    std::vector<Run> runs(names.size());
    std::mutex lock;
    std::size_t printed = 0;
    bool outputLost = false;
    std::atomic<std::size_t> next{0};

    const auto work = [&] {
        for (std::size_t i = next++; i < names.size(); i = next++) {
            Run& run = runs[i];
            Console own = console;
            own.out = [&run](std::string_view bytes) {
                run.out += bytes;
                return true;
            };
            own.err = [&run](std::string_view bytes) {
                run.err += bytes;
                return true;
            };
            try {
                run.code = one(own, names[i]);
            } catch (const std::exception& e) {
                complain(own, displayName(names[i]) + ": stopped: " + e.what());
            } catch (...) {
                complain(own, displayName(names[i]) + ": stopped by an unknown error");
            }
            const std::scoped_lock hold(lock);
            run.done = true;
            for (; printed < runs.size() && runs[printed].done; ++printed) {
                outputLost |= !console.out(runs[printed].out);
                console.err(runs[printed].err);
            }
        }
    };
    const std::size_t workers = std::min<std::size_t>(std::max(jobs, 1u), names.size());
    {
        std::vector<std::jthread> pool;
        for (std::size_t w = 1; w < workers; ++w)
            pool.emplace_back(work);
        work();
    }
    int worst = kExitClean;
    for (const Run& run : runs)
        worst = std::max(worst, run.code);
    if (outputLost) {
        complain(console, "cannot write to standard output");
        return kExitTrouble;
    }
    return worst;
}

} // namespace cli
