#include "cli/CliMain.h"

#include <charconv>
#include <filesystem>
#include <optional>
#include <system_error>

#include "platform/DirectoryListing.h"
#include "text/PathText.h"
#include "scan/ScanRun.h"
#include "scan/Version.h"
#include "cli/ExitStatus.h"
#include "cli/CliCache.h"
#include "cli/CliVerify.h"
#include "cli/CliCase.h"
#include "cli/CliHost.h"
#include "cli/Console.h"
#include "platform/LocaleText.h"
#ifdef SNAPSIFT_IMAGES
#include "cli/CliImage.h"
#endif

namespace snapsift::cli {

namespace {

namespace fs = std::filesystem;

#ifdef SNAPSIFT_IMAGES
constexpr bool kImages = true;
#else
constexpr bool kImages = false;
#endif

constexpr std::string_view kUsageLines =
    "Usage: snapsift-cli --folder DIR [--no-subfolders] --output DIR [--no-photos] [--include-deleted]\n"
    "       snapsift-cli --profiles ROOT --output DIR [--no-photos] [--include-deleted]\n"
    "       snapsift-cli --list-cache DIR\n"
    "       snapsift-cli --verify RUNFOLDER\n"
    "       snapsift-cli --case OUTPUT RUNFOLDER...\n";
constexpr std::string_view kImageUsageLines =
    "       snapsift-cli --image FILE [--partition N] (--profiles | --folder PATH [--no-subfolders])\n"
    "                    --output DIR [--no-photos] [--include-deleted] [--verify-image] [--carve]\n"
    "       snapsift-cli --list-partitions FILE\n";
constexpr std::string_view kUsageOptions =
    "       snapsift-cli --help | --version\n"
    "\n"
    "Finds the photo files that the Quorvia social network leaves in a browser's cache and\n"
    "writes an HTML evidence report into a new time-stamped folder inside the output folder.\n"
    "\n"
    "  --folder DIR       search DIR and every folder below it\n"
    "  --no-subfolders    with --folder: only the files directly in DIR\n"
    "  --profiles ROOT    search ROOT's \"Users\" and \"Documents and Settings\" folders; ROOT is\n"
#ifdef _WIN32
    "                     a drive (C: or E:)\n"
#else
    "                     the mount point of a drive or of a drive's image (/mnt/evidence)\n"
#endif
    "  --output DIR       the folder in which the run's own output folder is made\n"
    "  --no-photos        make no copies and leave the photos out of the report\n"
    "  --include-deleted  also report the photos of cache entries the browser had let go of\n"
#ifdef SNAPSIFT_IMAGES
    "                     (doomed, evicted, being deleted), marked as deleted; with --image,\n"
    "                     also deleted files that NTFS still names\n"
#else
    "                     (doomed, evicted, being deleted), marked as deleted\n"
#endif
    "  --list-cache DIR   list every entry of the browser cache in DIR (a Chromium cache folder,\n"
    "                     a Firefox cache2, entries or legacy Cache folder, or an old cache's\n"
    "                     index.dat file under any name) as tab-separated text\n"
    "  --verify RUNFOLDER check a run's folder: every copy against its row of the CSV (MD5 and\n"
    "                     SHA-256) and every file against SHA256SUMS, which must be there;\n"
    "                     prints the digest list's SHA-256; exit status 0 when everything\n"
    "                     matches, 4 when anything does not, 2 for no run folder\n"
    "  --case OUTPUT RUNFOLDER...  check each run folder as --verify does, then write the\n"
    "                     summary by Quorvia user ID of those that match, a row per user ID\n"
    "                     and run, into a new time-stamped folder in OUTPUT; a run folder that\n"
    "                     does not match is named on standard error and left out (exit status 4)\n";
constexpr std::string_view kUsageEnd =
    "  --help             show this text\n"
    "  --version          show the version\n"
    "\n"
    "Ctrl-C ends the scan as an aborted run with a complete report.\n"
    "Exit status: 0 completed, 1 aborted, 2 stopped by a check, 3 completed but the report is\n"
    "incomplete (an entry, a copy or a folder could not be read or written, or no profile folder\n"
    "was found; the counts are shown and the report names each), 4 (--verify, --case) a run\n"
    "folder does not match what the run wrote.\n";

constexpr std::string_view kImageOptions =
    "  --image FILE       search a raw (dd), split raw (.001) or E01 disk image, read straight\n"
    "                     from FILE; --profiles then takes no ROOT, and --folder takes a path\n"
    "                     inside the image's volume, such as \\Users\\alice or /Users/alice\n"
    "  --partition N      search partition N of the image (see --list-partitions); without it,\n"
    "                     --profiles searches every NTFS partition with a profile folder and\n"
    "                     --folder the first NTFS partition that holds PATH\n"
    "  --carve            with --image: after the files, search the unallocated space of each\n"
    "                     partition searched for the cache entries of deleted files (Chromium's\n"
    "                     simple cache, Firefox's cache2) whose file lies whole in one piece;\n"
    "                     the photos found are reported after the others (slow: every free\n"
    "                     cluster is read)\n"
    "  --verify-image     with --image: first read all of the image's data and check its MD5\n"
    "                     (SHA-1 where only that is stored) against the one an E01 stores;\n"
    "                     the report says what was found\n"
    "  --list-partitions FILE  list the image's partitions: number, offset and size in bytes,\n"
    "                     file system, and which profile folders each holds\n";

// The usage text, with the disk image lines where this build reads images.
std::string UsageText() {
    std::string text(kUsageLines);
    if (kImages) text += kImageUsageLines;
    text += kUsageOptions;
    if (kImages) text += kImageOptions;
    text += kUsageEnd;
    return text;
}

struct Options {
    std::optional<std::string> image;
    std::optional<std::string> partition;
    std::optional<std::string> listPartitions;
    std::optional<std::string> listCache;
    std::optional<std::string> verify;
    bool includeDeleted = false;
    bool verifyImage = false;
    bool carve = false;
    bool profilesOfImage = false;  // --profiles with --image, which takes no value
    std::optional<std::string> folder;
    std::optional<std::string> profiles;
    std::optional<std::string> output;
    bool noSubfolders = false;
    bool noPhotos = false;
    bool help = false;
    bool version = false;
    std::vector<std::string> caseFolders;  // --case: OUTPUT, then the run folders
};

std::string ToText(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// Windows: the drive that a folder argument names by itself ("C:", "c:\", "C:/", "\\?\C:\"),
// as its letter and colon; nothing for any other argument, and always nothing elsewhere.
std::optional<std::string> DriveOfArgument(std::string text) {
    if (kSeparator != '\\') return std::nullopt;
    if (text.starts_with("\\\\?\\")) text.erase(0, 4);
    text = WithoutTrailingSeparators(text);
    const bool letter = text.size() == 2 && ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z'));
    if (letter && text[1] == ':') return text;
    return std::nullopt;
}

// A folder argument as the program keeps it: a drive's root folder as "C:\" (so that the
// output folder of "F:" is made at F:\, not in F:'s current folder), anything else absolute,
// lexically tidied and without trailing separators.
std::string FolderText(const std::string& argument) {
    if (const auto drive = DriveOfArgument(argument)) return *drive + kSeparator;
    std::string text = argument;
    if (kSeparator == '\\' && text.starts_with("\\\\?\\") && !text.starts_with("\\\\?\\UNC\\")) text.erase(0, 4);
    std::error_code error;
    fs::path path = fs::absolute(PathFromText(text), error);
    if (error) path = PathFromText(text);
    return WithoutTrailingSeparators(ToText(path.lexically_normal()));
}

// A profile search's drive: its letter and colon as given ("C:", "c:"), from which the scan
// makes "C:\Users\" and "C:\Documents and Settings\"; elsewhere the mount point's folder.
std::string DriveRootText(const std::string& argument) {
    if (const auto drive = DriveOfArgument(argument)) return *drive;
    return FolderText(argument);
}

bool IsFolder(const std::string& text) {
    return FolderExists(text.empty() || (text.size() == 2 && text[1] == ':') ? WithTrailingSeparator(text) : text);
}

int UsageError(const std::string& problem) {
    Write(Stream::Err, "snapsift-cli: " + problem + "\nTry 'snapsift-cli --help' for more information.\n");
    return kStopped;
}

int CheckFailed(const std::string& problem) {
    Write(Stream::Err, problem + "\n");
    return kStopped;
}

// Reads the options; the error text when they do not make a valid command line.
std::optional<std::string> Parse(const std::vector<std::string>& arguments, Options& options) {
    // --case takes the rest: OUTPUT and the run folders.
    if (arguments.size() > 1 && arguments[1] == "--case") {
        if (arguments.size() < 4) return "--case needs OUTPUT and at least one RUNFOLDER";
        for (std::size_t i = 2; i < arguments.size(); ++i) options.caseFolders.push_back(arguments[i]);
        return std::nullopt;
    }
    // With --image, --profiles names no drive: it stands alone.
    bool imageGiven = false;
    for (std::size_t i = 1; i < arguments.size(); ++i)
        imageGiven = imageGiven || (kImages && (arguments[i] == "--image" || arguments[i].starts_with("--image=")));
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        std::optional<std::string> value;
        if (const auto equals = name.find('='); name.starts_with("--") && equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
        }
        const auto take = [&](std::optional<std::string>& into) -> std::optional<std::string> {
            if (!value) {
                if (i + 1 >= arguments.size()) return "option " + name + " needs a value";
                value = arguments[++i];
            }
            if (value->empty()) return "option " + name + " needs a value";
            if (into) return "option " + name + " is given twice";
            into = *value;
            return std::nullopt;
        };
        const auto flag = [&](bool& into) -> std::optional<std::string> {
            if (value) return "option " + name + " takes no value";
            into = true;
            return std::nullopt;
        };
        std::optional<std::string> problem;
        if (name == "--folder") problem = take(options.folder);
        else if (name == "--profiles" && imageGiven) problem = flag(options.profilesOfImage);
        else if (name == "--profiles") problem = take(options.profiles);
        else if (kImages && name == "--image") problem = take(options.image);
        else if (kImages && name == "--partition") problem = take(options.partition);
        else if (kImages && name == "--list-partitions") problem = take(options.listPartitions);
        else if (name == "--include-deleted") problem = flag(options.includeDeleted);
        else if (kImages && name == "--verify-image") problem = flag(options.verifyImage);
        else if (kImages && name == "--carve") problem = flag(options.carve);
        else if (name == "--list-cache") problem = take(options.listCache);
        else if (name == "--verify") problem = take(options.verify);
        else if (name == "--output") problem = take(options.output);
        else if (name == "--no-subfolders") problem = flag(options.noSubfolders);
        else if (name == "--no-photos") problem = flag(options.noPhotos);
        else if (name == "--help" || name == "-h") problem = flag(options.help);
        else if (name == "--version") problem = flag(options.version);
        else problem = "unknown argument: " + arguments[i];
        if (problem) return problem;
    }
    if (options.help || options.version) return std::nullopt;
    if (options.listPartitions) {
        // Nothing but the option and its FILE, in either form.
        const bool alone = (arguments.size() == 3 && arguments[1] == "--list-partitions") ||
                           (arguments.size() == 2 && arguments[1].starts_with("--list-partitions="));
        if (!alone) return "--list-partitions FILE goes alone";
        return std::nullopt;
    }
    if (options.verify) {
        const bool alone = (arguments.size() == 3 && arguments[1] == "--verify") ||
                           (arguments.size() == 2 && arguments[1].starts_with("--verify="));
        if (!alone) return "--verify RUNFOLDER goes alone";
        return std::nullopt;
    }
    if (options.listCache) {
        const bool alone = (arguments.size() == 3 && arguments[1] == "--list-cache") ||
                           (arguments.size() == 2 && arguments[1].starts_with("--list-cache="));
        if (!alone) return "--list-cache DIR goes alone";
        return std::nullopt;
    }
    if (options.image) {
        if (options.folder && options.profilesOfImage) return "give either --folder or --profiles, not both";
        if (!options.folder && !options.profilesOfImage) return "give --profiles or --folder PATH with --image";
        if (options.partition) {
            int number = 0;
            const std::string& text = *options.partition;
            const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
            if (error != std::errc() || end != text.data() + text.size() || number < 1)
                return "--partition takes a partition number: " + text;
        }
    } else {
        if (options.partition) return "--partition goes with --image";
        if (options.verifyImage) return "--verify-image goes with --image";
        if (options.carve) return "--carve goes with --image";
    }
    if (options.folder && options.profiles) return "give either --folder or --profiles, not both";
    if (!options.folder && !options.profiles && !options.image) return "give --folder DIR or --profiles ROOT";
    if (options.noSubfolders && !options.folder) return "--no-subfolders goes with --folder";
    if (!options.output) return "give --output DIR";
    return std::nullopt;
}

}  // namespace

int RunCli(const std::vector<std::string>& arguments) {
    Options options;
    if (const auto problem = Parse(arguments, options)) return UsageError(*problem);
    if (options.help) {
        Write(Stream::Out, UsageText());
        return kCompleted;
    }
    if (options.version) {
        Write(Stream::Out, "snapsift-cli " + std::string(kAppVersion) + "\n");
        return kCompleted;
    }

    UseUserLocale();
    if (!options.caseFolders.empty())
        return WriteCase(FolderText(options.caseFolders.front()),
                         std::vector<std::string>(options.caseFolders.begin() + 1, options.caseFolders.end()));
    if (options.listCache) return ListCacheFolder(FolderText(*options.listCache));
    if (options.verify) return VerifyRunFolder(FolderText(*options.verify));
    CliSettings settings;
    settings.includePhotos = !options.noPhotos;
    settings.includeDeletedCacheEntries = options.includeDeleted;
    ScanState state;
    bool imageIncomplete = false;  // --verify-image found the data not as stored, or unreadable
#ifdef SNAPSIFT_IMAGES
    if (options.listPartitions) return ListPartitions(FolderText(*options.listPartitions));
    OpenImage image;
    if (options.image) {
        ImageChoice choice;
        choice.file = FolderText(*options.image);
        if (options.partition) choice.partition = std::stoi(*options.partition);
        choice.includeDeleted = options.includeDeleted;
        choice.profiles = options.profilesOfImage;
        choice.folder = options.folder.value_or("");
        choice.carve = options.carve;
        std::string problem;
        if (!OpenForScan(choice, image, problem)) return CheckFailed(problem);
        if (options.verifyImage) {
            InstallInterruptHandler();
            const DataCheckOutcome check = CheckImageData(image, InterruptRequested);
            if (check == DataCheckOutcome::Stopped) {
                Write(Stream::Out, "The check of the image's data was aborted; nothing was searched.\n");
                return kAborted;
            }
            imageIncomplete = check == DataCheckOutcome::Incomplete;
        }
        settings.image = &image.source;
        settings.profileMode = choice.profiles;
        settings.searchSubfolders = !options.noSubfolders;
        state.sourceFolder = image.sourceFolder;
    } else
#endif
    if (options.folder) {
        const std::string folder = FolderText(*options.folder);
        if (!IsFolder(folder)) return CheckFailed("Folder to search not found: " + *options.folder);
        state.sourceFolder = WithTrailingSeparator(folder);
        settings.searchSubfolders = !options.noSubfolders;
    } else {
        settings.profileMode = true;
        settings.driveRoot = DriveRootText(*options.profiles);
        if (!IsFolder(settings.driveRoot)) return CheckFailed("Drive root not found: " + *options.profiles);
    }
    const std::string output = FolderText(*options.output);
    if (!IsFolder(output)) return CheckFailed("Output folder not found: " + *options.output);
    state.outputFolder = WithTrailingSeparator(output);

    InstallInterruptHandler();
    CliHost host(state, settings, IsTerminal(Stream::Err));
    const ScanResult result = RunScan(state, host);
    if (result.outcome == ScanOutcome::Stopped) return kStopped;
    // The final message has given the total, a line for each problem and the report's path.
    const EvidenceGaps& gaps = result.gaps;
#ifdef SNAPSIFT_IMAGES
    if (imageIncomplete) Write(Stream::Out, "The image's data did not pass its check (see above).\n");
#endif
    if (result.outcome == ScanOutcome::Aborted) return kAborted;
    return gaps.Any() || imageIncomplete ? kIncomplete : kCompleted;
}

}  // namespace snapsift::cli
