// glazehost's batch: setting up the look, planning the outputs and filtering image by image.
#include "host/GlazeHostWin.h"

#include "host/ImageFile.h"
#include "host/ImageMetadata.h"
#include "host/InputFiles.h"
#include "plugin/FilterParams.h"
#include "presets/PresetFile.h"
#include "presets/PresetFolder.h"
#include "presets/PresetStore.h"
#include "services/RegistrySettingsWin.h"

#include <windows.h>

#include <chrono>
#include <cstring>
#include <cctype>
#include <fstream>
#include <future>
#include <sstream>

namespace vg::host {
namespace {

using Clock = std::chrono::steady_clock;

std::string BesideExe(const char* name) {
    char buf[MAX_PATH * 2] = {};
    DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
    std::string path(buf, n);
    size_t slash = path.find_last_of("/\\");
    return (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + name;
}

bool ReadText(const std::string& path, std::string* text) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream ss;
    ss << in.rdbuf();
    *text = ss.str();
    return !in.bad();
}

bool IsFolder(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The installation folder from the registry, or empty.
std::string InstallFolder() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kInstallPathKey, 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return std::string();
    char value[MAX_PATH * 4] = {};
    DWORD size = sizeof value - 1, type = 0;
    const LONG rc =
        RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return std::string();
    return std::string(value, strnlen(value, size));
}

bool IsPresetFile(const std::string& preset) {
    const std::string_view ext = ExtensionOf(preset);
    return preset.find_first_of("\\/") != std::string::npos ||
           (ext.size() == 3 && std::tolower(static_cast<unsigned char>(ext[0])) == 'v' &&
            std::tolower(static_cast<unsigned char>(ext[1])) == 'p' &&
            std::tolower(static_cast<unsigned char>(ext[2])) == 'p');
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

PresetValues DefaultValues() {
    PresetValues values{};
    for (int i = 0; i < kPresetParamCount; ++i) values[size_t(i)] = ParamInfoAt(i).defaultValue;
    return values;
}

double FileTimeSeconds(const FILETIME& t) {
    return double((uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime) * 1e-7;
}

// Processor time (user and kernel) of the calling thread, or of the whole process: less
// disturbed than the elapsed time by other work on a shared machine.
double ThreadSeconds() {
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user))
        return 0;
    return FileTimeSeconds(kernel) + FileTimeSeconds(user);
}

double ProcessSeconds() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        return 0;
    return FileTimeSeconds(kernel) + FileTimeSeconds(user);
}

std::string Seconds(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", s);
    return text;
}

}  // namespace

CGlazeHost::CGlazeHost(HostCommandLine command) : m_cmd(std::move(command)) {}

void CGlazeHost::Fail(const std::string& label, const std::string& message) const {
    std::fprintf(stderr, "glazehost: %s%s\n", label.c_str(), message.c_str());
    std::fflush(stderr);
}

std::string CGlazeHost::Label(const BatchItem& item, size_t index, size_t count) const {
    if (!m_cmd.Batch())
        return std::string();
    const int width = int(std::to_string(count).size());
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "[%*zu/%zu] ", width, index + 1, count);
    return prefix + std::string(FileNameOf(item.input)) + ": ";
}

int CGlazeHost::ExitCode(int notWritten) const {
    return notWritten <= 0 ? 0 : std::min(notWritten, kExitMostFailed);
}

bool CGlazeHost::LoadPlugin(std::string* error) {
    HostOptions options;
    ApplyHostSwitches(m_cmd, &options, &m_runSwitches);
    // A bar redrawn in place only makes sense on a console, not in a log file.
    DWORD mode = 0;
    options.consoleProgress = !m_cmd.quiet && GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode);
    options.consoleCancel = true;
    options.cancelAfterAbortCalls = m_cmd.cancelAfter;
    // Nobody is there to press OK in a batch or a quiet run; --dialog keeps it interactive.
    options.answerMessageBoxes = !m_cmd.dialog && (m_cmd.Batch() || m_cmd.quiet);
    m_host = std::make_unique<CFilterHost>(options);
    m_host->Progress().SetEndErases(m_cmd.Batch());
    m_pluginPath = m_cmd.plugin.empty() ? BesideExe("VarenGlaze2.8bf") : m_cmd.plugin;
    return m_host->Load(m_pluginPath, error);
}

std::string CGlazeHost::PresetFolder() const {
    if (!m_cmd.presetDir.empty())
        return FullPath(m_cmd.presetDir);
    const std::string installed = PresetFolderFromInstallPath(InstallFolder());
    if (!installed.empty() && IsFolder(installed))
        return installed;
    // The build (and a plug-ins folder set up by hand) keeps the presets beside the module.
    const std::string plugin = FullPath(m_pluginPath);
    return plugin.substr(0, plugin.size() - FileNameOf(plugin).size()) + "Presets";
}

bool CGlazeHost::ReadPreset(std::string* error) {
    PresetValues values{};
    if (IsPresetFile(m_cmd.preset)) {
        const std::string file = FullPath(m_cmd.preset);
        if (GetFileAttributesA(file.c_str()) == INVALID_FILE_ATTRIBUTES) {
            *error = "preset file " + m_cmd.preset + " not found.";
            return false;
        }
        // Read as the dialog reads imported files: hostile input, through the same limits.
        const std::vector<std::string> names = ListedPresetNames(file, kPresetProductElement);
        if (names.empty()) {
            *error = "preset file " + m_cmd.preset + " holds no preset (or is not a preset file).";
            return false;
        }
        m_look.preset = names[0];
        if (names.size() > 1 && !m_cmd.quiet)
            std::printf("%s holds %zu presets; using the first, %s\n", m_cmd.preset.c_str(),
                        names.size(), names[0].c_str());
        values = readPresetValues(file, kPresetProductElement, names[0], DefaultValues());
    } else {
        const std::string folder = PresetFolder();
        CPresetStore store;
        store.rescan(folder, std::string(kPresetProductElement));
        int index = store.FindDisplayName(m_cmd.preset);
        for (int i = 0; index < 0 && i < store.GetCount(); ++i)
            if (EqualNoCase(store.GetDisplayName(i), m_cmd.preset))
                index = i;
        if (index < 0) {
            std::string names;
            for (int i = 0; i < store.GetCount() && i < 40; ++i)
                names += (i ? ", " : "") + store.GetDisplayName(i);
            *error = "no preset named '" + m_cmd.preset + "' in " + folder +
                     (names.empty() ? " (it holds none)." : "; its presets are: " + names + ".");
            return false;
        }
        m_look.preset = store.GetDisplayName(index);
        store.readPreset(index, DefaultValues(), values);
    }
    for (int i = 0; i < kPresetParamCount; ++i)
        m_look.descriptor.SetFloat(ParamInfoAt(i).key, values[size_t(i)]);
    return true;
}

bool CGlazeHost::MakeLook(std::string* error) {
    if (!m_cmd.preset.empty() && !ReadPreset(error))
        return false;
    if (!m_cmd.descriptorFile.empty()) {
        std::string text;
        CDescriptor file;
        if (!ReadText(m_cmd.descriptorFile, &text)) {
            *error = "cannot read descriptor file " + m_cmd.descriptorFile + ".";
            return false;
        }
        if (!CDescriptor::FromText(text, &file, error)) {
            *error = "descriptor file " + m_cmd.descriptorFile + ", " + *error + ".";
            return false;
        }
        // On top of the preset: a key the file gives replaces the preset's value in place.
        for (DescriptorItem& item : file.items) {
            bool replaced = false;
            for (DescriptorItem& have : m_look.descriptor.items)
                if (have.key == item.key) {
                    have = item;
                    replaced = true;
                }
            if (!replaced)
                m_look.descriptor.items.push_back(item);
        }
    }
    for (const DescriptorItem& item : m_cmd.sets.items)
        m_look.descriptor.SetFloat(item.key, item.number);
    m_replay = !m_cmd.preset.empty() || !m_cmd.descriptorFile.empty() || !m_cmd.sets.empty();
    return true;
}

std::vector<BatchItem> CGlazeHost::PlanBatch(std::string* error) {
    if (!m_cmd.Batch()) {
        BatchItem item;
        item.input = FullPath(m_cmd.inputs[0]);
        item.output = FullPath(m_cmd.output);
        item.format =
            m_cmd.format != ImageFormat::Unknown ? m_cmd.format : FormatFromPath(item.output);
        if (item.format == ImageFormat::Unknown)
            item.problem = "Cannot write " + m_cmd.output +
                           ": use a .png, .tif, .tiff, .jpg or .jpeg file name.";
        else if (SamePath(item.input, item.output))
            item.problem = "Cannot write " + m_cmd.output + ": it is the input.";
        else if (!IsFolder(
                     item.output.substr(0, item.output.size() - FileNameOf(item.output).size())))
            item.problem = "Cannot write " + m_cmd.output + ": its folder does not exist.";
        return {item};
    }
    const std::string folder = FullPath(m_cmd.outputFolder);
    if (!MakeFolders(folder)) {
        *error = "cannot create the output folder " + m_cmd.outputFolder + ".";
        return {};
    }
    std::vector<BatchItem> items = ExpandInputs(m_cmd.inputs, m_cmd.recursive);
    // Items that already have a problem keep it; the others get their outputs.
    std::vector<BatchItem> named;
    std::vector<size_t> where;
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].problem.empty()) {
            named.push_back(items[i]);
            where.push_back(i);
        }
    PlanOutputs(named, folder, m_cmd.namePattern, m_cmd.format);
    for (size_t i = 0; i < named.size(); ++i) items[where[i]] = named[i];
    return items;
}

std::unique_ptr<CGlazeHost::Job> CGlazeHost::Read(const BatchItem& item, size_t index,
                                                  size_t count) const {
    auto job = std::make_unique<Job>();
    job->index = index;
    job->item = &item;
    job->label = Label(item, index, count);
    try {
        const Clock::time_point start = Clock::now();
        const double cpu = ThreadSeconds();
        if (!item.problem.empty()) {
            job->error = m_cmd.Batch() ? item.problem + "." : item.problem;
        } else if (m_cmd.Batch() && !m_cmd.overwrite &&
                   GetFileAttributesA(item.output.c_str()) != INVALID_FILE_ATTRIBUTES) {
            job->error = "its output " + item.output + " exists (--overwrite replaces it).";
        } else {
            ImageFileInfo info;
            if (ReadImageFile(item.input, &job->image, &job->error,
                              m_cmd.strip ? nullptr : &job->metadata, &info))
                job->notes = std::move(info.notes);
        }
        job->readSeconds = std::chrono::duration<double>(Clock::now() - start).count();
        job->readCpu = ThreadSeconds() - cpu;
    } catch (const std::exception&) {  // nothing may leave a worker thread
        job->image = CHostImage{};
        job->error = "Cannot read image " + item.input + ": not enough memory.";
    }
    return job;
}

bool CGlazeHost::Filter(Job& job) {
    const Clock::time_point start = Clock::now();
    std::string error;
    if (!m_host->Accepts(job.image, &error)) {
        job.error = "cannot filter " + job.item->input + ": " + error + ".";
        return false;
    }
    m_host->Progress().SetPrefix(job.label);
    RunOptions run = m_runSwitches;
    run.showDialog = m_cmd.dialog;
    run.replay = m_replay;
    run.replayDescriptor = m_look.descriptor;
    for (int i = 0; i < m_cmd.runs; ++i) {
        m_last = m_host->Run(job.image, run);
        job.boxes.insert(job.boxes.end(), m_last.messageBoxes.begin(), m_last.messageBoxes.end());
        if (!m_last.ok()) {
            m_cancelled = m_last.result == ps::userCanceledErr;
            job.error = DescribeResult(m_last);
            const DescriptorProblem& p = m_last.descriptorProblem;
            if (p.found && !m_cancelled) {
                // Every other image would fail the same way.
                m_stop = true;
                if (p.line > 0)
                    job.error = "descriptor file " + m_cmd.descriptorFile + ", line " +
                                std::to_string(p.line) + ": " + FormatFourCC(p.key) + " is '" +
                                FormatFourCC(p.type) + "' where the plug-in reads " + p.wanted +
                                ".";
            }
            return false;
        }
        if (!m_last.messageBoxes.empty()) {
            job.error = "not written, since the plug-in had something to say about it.";
            return false;
        }
        run.replay = false;  // later runs repeat the last filter with what it recorded
    }
    if (ConsoleCancelRequested()) {
        m_cancelled = true;
        job.error = "cancelled; nothing written.";
        return false;
    }
    job.filterSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    return true;
}

void CGlazeHost::Write(Job& job) const {
    try {
        const Clock::time_point start = Clock::now();
        const double cpu = ThreadSeconds();
        const BatchItem& item = *job.item;
        ImageWriteOptions write;
        write.format = item.format;
        write.quality = m_cmd.quality;
        write.replace = m_cmd.overwrite || !m_cmd.Batch();
        write.metadata = m_cmd.strip ? nullptr : &job.metadata;
        write.notes = &job.notes;
        const std::string folder =
            item.output.substr(0, item.output.size() - FileNameOf(item.output).size());
        if (!MakeFolders(folder.substr(0, folder.size() - 1)))
            job.error = "cannot create the folder of " + item.output + ".";
        else
            WriteImageFile(item.output, job.image, &job.error, write);
        job.writeSeconds = std::chrono::duration<double>(Clock::now() - start).count();
        job.writeCpu = ThreadSeconds() - cpu;
    } catch (const std::exception&) {  // nothing may leave a worker thread
        job.error = "Cannot write " + job.item->output + ": not enough memory.";
    }
}

void CGlazeHost::Report(const Job& job) {
    for (const std::string& box : job.boxes)
        Fail(job.label,
             "the plug-in showed a message box, answered with its default button: " + box);
    if (!job.error.empty()) {
        Fail(job.label, job.error);
        ++m_failed;
        return;
    }
    ++m_written;
    const CHostImage& image = job.image;
    const double mp = double(image.Width()) * double(image.Height()) / 1e6;
    m_megapixels += mp;
    m_readCpu += job.readCpu;
    m_writeCpu += job.writeCpu;
    if (m_cmd.quiet)
        return;
    if (m_cmd.Batch()) {
        std::string times;
        if (m_cmd.times)
            times = " (read " + Seconds(job.readSeconds) + ", filter " +
                    Seconds(job.filterSeconds) + ", write " + Seconds(job.writeSeconds) +
                    "; processor time: read " + Seconds(job.readCpu) + ", write " +
                    Seconds(job.writeCpu) + ")";
        std::printf("%s%dx%d %.1f MP, %s%s -> %s\n", job.label.c_str(), image.Width(),
                    image.Height(), mp,
                    Seconds(job.readSeconds + job.filterSeconds + job.writeSeconds).c_str(),
                    times.c_str(), job.item->output.c_str());
    } else {
        std::printf("%s: %dx%d, %d bits, filtered with %s\n", m_cmd.output.c_str(), image.Width(),
                    image.Height(), image.Depth(), m_host->Info().name.c_str());
    }
    for (const std::string& note : job.notes) std::printf("  note: %s\n", note.c_str());
    std::fflush(stdout);
}

int CGlazeHost::Run() {
    std::string error;
    if (!LoadPlugin(&error)) {
        Fail("", error);
        return kExitSetup;
    }
    if (m_cmd.about) {
        RunResult r = m_host->About();
        if (r.ok())
            return 0;
        Fail("", DescribeResult(r));
        return 1;
    }
    if (!MakeLook(&error)) {
        Fail("", error);
        return kExitSetup;
    }
    std::vector<BatchItem> items = PlanBatch(&error);
    if (!error.empty()) {
        Fail("", error);
        return kExitSetup;
    }
    CConsoleCancelScope cancelScope;
    const Clock::time_point start = Clock::now();
    if (m_cmd.Batch() && !m_cmd.quiet) {
        // The menu item's name without the ellipsis that says it opens a dialog.
        std::string name = m_host->Info().name;
        while (!name.empty() && name.back() == '.') name.pop_back();
        std::printf("Filtering %zu image%s with %s%s into %s\n", items.size(),
                    items.size() == 1 ? "" : "s", name.c_str(),
                    m_look.preset.empty() ? "" : (", preset " + m_look.preset).c_str(),
                    FullPath(m_cmd.outputFolder).c_str());
        std::fflush(stdout);
    }
    // Reading the next image and writing the last one overlap the filtering of this one;
    // images above kOverlapBytes are read and written in turn, to bound the memory held.
    constexpr uint64_t kOverlapBytes = uint64_t(256) << 20;
    const size_t count = items.size();
    auto startRead = [&](size_t i) {
        return std::async(std::launch::async,
                          [this, &items, i, count] { return Read(items[i], i, count); });
    };
    std::future<std::unique_ptr<Job>> reading, writing;
    auto finishWrite = [&] {
        if (writing.valid())
            Report(*writing.get());
    };
    size_t done = 0;
    if (count > 0)
        reading = startRead(0);
    for (; done < count; ++done) {
        std::unique_ptr<Job> job = reading.get();
        if (ConsoleCancelRequested()) {
            m_cancelled = true;
            break;
        }
        const bool small =
            uint64_t(job->image.RowBytes()) * uint64_t(job->image.Height()) <= kOverlapBytes;
        if (small && done + 1 < count)
            reading = startRead(done + 1);
        const bool filtered = job->error.empty() && Filter(*job);
        finishWrite();
        if (!filtered) {
            Report(*job);
        } else if (small) {
            writing = std::async(
                std::launch::async,
                [this](std::unique_ptr<Job> j) {
                    Write(*j);
                    return j;
                },
                std::move(job));
        } else {
            Write(*job);
            Report(*job);
        }
        if (m_cancelled || m_stop) {
            ++done;
            break;
        }
        if (!reading.valid() && done + 1 < count)
            reading = startRead(done + 1);
    }
    finishWrite();
    if (reading.valid())
        reading.get();  // read ahead but never filtered
    const int notFiltered = int(items.size() - done);
    if (!m_cmd.recordFile.empty() && m_written > 0) {
        if (!m_last.descriptorReturned)
            std::fprintf(stderr, "glazehost: the plug-in returned no descriptor; %s is empty\n",
                         m_cmd.recordFile.c_str());
        std::ofstream out(m_cmd.recordFile, std::ios::binary | std::ios::trunc);
        out << m_last.recorded.ToText();
        if (!out) {
            Fail("", "cannot write " + m_cmd.recordFile + ".");
            return kExitSetup;
        }
    }
    if (m_cmd.Batch() && !m_cmd.quiet) {
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        std::string summary = std::to_string(items.size()) + " image" +
                              (items.size() == 1 ? "" : "s") + ": " + std::to_string(m_written) +
                              " written, " + std::to_string(m_failed) + " failed";
        if (notFiltered > 0)
            summary += ", " + std::to_string(notFiltered) + " not filtered" +
                       (m_cancelled ? " (cancelled)" : "");
        char rate[256];
        std::snprintf(rate, sizeof rate, "; %.1f MP in %.1f s, %.2f MP/s", m_megapixels, seconds,
                      seconds > 0 ? m_megapixels / seconds : 0.0);
        if (m_cmd.times) {
            // The reading and writing threads' share; the rest is mostly the plug-in's run.
            const double all = ProcessSeconds();
            const size_t used = std::strlen(rate);
            std::snprintf(rate + used, sizeof rate - used,
                          ", processor time %.1f s (reading %.1f s, writing %.1f s, filtering and "
                          "the rest %.1f s)",
                          all, m_readCpu, m_writeCpu, all - m_readCpu - m_writeCpu);
        }
        std::printf("%s%s\n", summary.c_str(), rate);
    } else if (m_cancelled && notFiltered > 0) {
        std::fprintf(stderr, "glazehost: cancelled\n");
    }
    return ExitCode(m_failed + notFiltered);
}

}  // namespace vg::host
