#include "tools/mkupdate/mkupdate.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "package/package_format.h"
#include "tools/mkupdate/build.h"
#include "tools/mkupdate/examine.h"

namespace {

using json = nlohmann::json;

// A usage fault found after CLI11 has parsed: exit code 1.
struct UsageError {
  std::string message;
};

const char* const kManifestKeys[] = {
    "title",   "version",  "banner",        "bannerFit",        "vendorKey",
    "productKey", "installedText", "notInstalledText", "saveWarning",  "files",
    "from",    "to",       "stub",          "packageOffset",    "maxInstallPath",
    "output"};

// Reads the manifest into request; relative paths count from the manifest's folder. Problems
// with the file or its values go to problems (exit code 2).
void ReadManifest(const fs::path& path, BuildRequest* request, std::vector<std::string>* problems) {
  std::vector<uint8_t> bytes;
  std::string problem;
  std::string where = "manifest " + PathToUtf8(path);
  if (!ReadWholeFile(path, &bytes, &problem)) {
    problems->push_back(where + ": " + problem);
    return;
  }
  json manifest;
  try {
    manifest = json::parse(bytes.begin(), bytes.end());
  } catch (const json::exception& e) {
    problems->push_back(where + ": not valid JSON: " + e.what());
    return;
  }
  if (!manifest.is_object()) {
    problems->push_back(where + ": must be a JSON object");
    return;
  }
  fs::path base = path.parent_path();
  auto resolve = [&](const std::string& p) { return base / PathFromUtf8(p); };
  for (auto it = manifest.begin(); it != manifest.end(); ++it) {
    bool known = false;
    for (const char* key : kManifestKeys) known = known || it.key() == key;
    if (!known) problems->push_back(where + ": unknown key \"" + it.key() + "\"");
  }
  try {
    auto text = [&](const char* key, std::string* dest) {
      if (manifest.contains(key)) *dest = manifest[key].get<std::string>();
    };
    text("title", &request->title);
    text("version", &request->version);
    text("vendorKey", &request->vendorKey);
    text("productKey", &request->productKey);
    text("installedText", &request->installedText);
    text("notInstalledText", &request->notInstalledText);
    if (manifest.contains("saveWarning")) request->saveWarning = manifest["saveWarning"].get<bool>();
    if (manifest.contains("banner")) request->banner = resolve(manifest["banner"].get<std::string>());
    if (manifest.contains("bannerFit") &&
        !ParseBannerFit(manifest["bannerFit"].get<std::string>(), &request->bannerFit))
      problems->push_back(where + ": bannerFit must be \"exact\", \"crop\" or \"scale\"");
    if (manifest.contains("stub")) request->stub = resolve(manifest["stub"].get<std::string>());
    if (manifest.contains("output")) request->output = resolve(manifest["output"].get<std::string>());
    if (manifest.contains("packageOffset"))
      request->packageOffset = manifest["packageOffset"].get<uint64_t>();
    if (manifest.contains("maxInstallPath"))
      request->maxInstallPath = manifest["maxInstallPath"].get<uint32_t>();
    if (manifest.contains("files")) {
      const json& files = manifest["files"];
      if (files.is_string()) {
        request->fileSource = FileSource::kFolder;
        request->folder = resolve(files.get<std::string>());
      } else if (files.is_array()) {
        request->fileSource = FileSource::kList;
        for (const json& item : files) {
          if (item.is_string()) {
            std::string source = item.get<std::string>();
            request->files.push_back({resolve(source), source});
          } else {
            request->files.push_back({resolve(item.at("source").get<std::string>()),
                                      item.at("name").get<std::string>()});
          }
        }
      } else {
        problems->push_back(where + ": files must be a folder or a list");
      }
    }
    if (manifest.contains("from") || manifest.contains("to")) {
      if (request->fileSource != FileSource::kNone)
        problems->push_back(where + ": give either files or from and to");
      request->fileSource = FileSource::kDiff;
      request->from = resolve(manifest.at("from").get<std::string>());
      request->to = resolve(manifest.at("to").get<std::string>());
    }
  } catch (const json::exception& e) {
    problems->push_back(where + ": " + e.what());
  }
}

struct BuildOptions {
  std::string manifest, output, stub, banner, bannerFit, files, from, to;
  std::string title, version, vendorKey, productKey, installedText, notInstalledText;
  std::vector<std::string> fileList;
  bool saveWarning = false, noSaveWarning = false, quiet = false, dryRun = false;
  uint64_t packageOffset = 0;
  uint32_t maxInstallPath = kDefaultMaxInstallPath;
};

int RunBuild(CLI::App& command, const BuildOptions& o, std::ostream& out, std::ostream& err,
             bool terminal) {
  BuildRequest request;
  std::vector<std::string> problems;
  if (!o.manifest.empty()) ReadManifest(PathFromUtf8(o.manifest), &request, &problems);
  auto given = [&](const char* name) { return command.count(name) > 0; };
  if (given("--title")) request.title = o.title;
  if (given("--version")) request.version = o.version;
  if (given("--vendor-key")) request.vendorKey = o.vendorKey;
  if (given("--product-key")) request.productKey = o.productKey;
  if (given("--installed-text")) request.installedText = o.installedText;
  if (given("--not-installed-text")) request.notInstalledText = o.notInstalledText;
  if (o.saveWarning) request.saveWarning = true;
  if (o.noSaveWarning) request.saveWarning = false;
  if (given("--banner")) request.banner = PathFromUtf8(o.banner);
  if (given("--banner-fit")) ParseBannerFit(o.bannerFit, &request.bannerFit);
  if (given("--stub")) request.stub = PathFromUtf8(o.stub);
  if (given("--output")) request.output = PathFromUtf8(o.output);
  if (given("--package-offset")) request.packageOffset = o.packageOffset;
  if (given("--max-install-path")) request.maxInstallPath = o.maxInstallPath;
  if (given("--files")) {
    request.fileSource = FileSource::kFolder;
    request.folder = PathFromUtf8(o.files);
  } else if (given("--file")) {
    request.fileSource = FileSource::kList;
    request.files.clear();
    for (const std::string& item : o.fileList) {
      size_t equals = item.find('=');
      if (equals == std::string::npos || equals == 0 || equals + 1 == item.size())
        throw UsageError{"--file " + item + ": expected SOURCE=NAME"};
      request.files.push_back({PathFromUtf8(item.substr(0, equals)), item.substr(equals + 1)});
    }
  } else if (given("--from")) {
    request.fileSource = FileSource::kDiff;
    request.from = PathFromUtf8(o.from);
    request.to = PathFromUtf8(o.to);
  }
  if (!problems.empty()) {
    for (const std::string& p : problems) err << "mkupdate: " << p << "\n";
    return kExitInvalid;
  }
  if (request.output.empty() && !o.dryRun)
    throw UsageError{"build: no output file (--output, or \"output\" in the manifest)"};

  BuildPlan plan;
  if (!PlanBuild(request, &plan, &problems)) {
    for (const std::string& p : problems) err << "mkupdate: " << p << "\n";
    err << "mkupdate: nothing written (" << problems.size()
        << (problems.size() == 1 ? " problem" : " problems") << ")\n";
    return kExitInvalid;
  }
  for (const std::string& note : plan.notes) err << "mkupdate: " << note << "\n";
  if (request.fileSource == FileSource::kNone || plan.records.empty())
    err << "mkupdate: note: the update holds no files\n";
  if (o.dryRun) {
    for (const PlannedRecord& record : plan.records)
      out << record.size << "  " << record.name << "\n";
    out << "dry run: " << plan.records.size() << " files, " << plan.dataBytes
        << " bytes; nothing written\n";
    return kExitDone;
  }
  Progress progress(err, terminal, o.quiet);
  std::string problem;
  if (!WriteUpdate(plan, request.output, &progress, &problem)) {
    err << "mkupdate: " << problem << "\n";
    err << "mkupdate: nothing written to " << PathToUtf8(request.output) << "\n";
    return kExitInvalid;
  }
  if (!o.quiet)
    out << "wrote " << PathToUtf8(request.output) << ": " << plan.records.size()
        << (plan.records.size() == 1 ? " file, " : " files, ") << plan.dataBytes
        << " bytes of data\n";
  return kExitDone;
}

}  // namespace

int RunMkupdate(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                bool progressTerminal) {
  CLI::App app("Builds and inspects Tavrel_Update update programs.", "mkupdate");
  app.require_subcommand(1);

  BuildOptions o;
  CLI::App* build = app.add_subcommand(
      "build", "Append an update package to the updater program (the stub).");
  build->add_option("-m,--manifest", o.manifest, "JSON manifest; options given here override it");
  build->add_option("-o,--output", o.output, "the update program to write");
  build->add_option("--stub", o.stub,
                    "the updater program without a package (default: Tavrel_Update.exe beside "
                    "mkupdate, else the win32 build)");
  build->add_option("--package-offset", o.packageOffset,
                    "length of the stub, where the package starts (default " +
                        std::to_string(kPackageOffset) + ")");
  build->add_option("--title", o.title, "window title (UTF-8)");
  build->add_option("--version", o.version, "version text, may be empty");
  build->add_option("--banner", o.banner, "PNG or BMP picture of 320 x 240");
  build->add_option("--banner-fit", o.bannerFit, "for a picture of another size: crop or scale")
      ->check(CLI::IsMember({"exact", "crop", "scale"}));
  build->add_option("--vendor-key", o.vendorKey, "registry key below HKCU\\Software");
  build->add_option("--product-key", o.productKey, "the product's subkey of the vendor key");
  build->add_option("--installed-text", o.installedText, "status line when installed");
  build->add_option("--not-installed-text", o.notInstalledText, "status line when not installed");
  CLI::Option* warn = build->add_flag("--save-warning", o.saveWarning,
                                      "the update makes existing save data unusable");
  build->add_flag("--no-save-warning", o.noSaveWarning, "save data stay usable (the default)")
      ->excludes(warn);
  CLI::Option* files =
      build->add_option("--files", o.files, "folder whose files are the update, in byte order of "
                                            "their relative names");
  CLI::Option* file = build->add_option("--file", o.fileList,
                                        "SOURCE=NAME: one file and its name in the install "
                                        "folder (repeatable; package order as given)");
  CLI::Option* from =
      build->add_option("--from", o.from, "old version's folder, for an update of differences");
  CLI::Option* to = build->add_option("--to", o.to, "new version's folder (with --from)");
  from->needs(to);
  to->needs(from);
  files->excludes(file)->excludes(from)->excludes(to);
  file->excludes(from)->excludes(to);
  build->add_option("--max-install-path", o.maxInstallPath,
                    "longest install folder, in bytes, that the names must leave room for "
                    "(default " + std::to_string(kDefaultMaxInstallPath) + ")");
  build->add_flag("-q,--quiet", o.quiet, "no progress and no summary");
  build->add_flag("-n,--dry-run", o.dryRun, "check everything and list the files; write nothing");

  std::string update, dir;
  uint64_t offset = kPackageOffset;
  CLI::App* list = app.add_subcommand("list", "Show an update's texts, banner and files.");
  CLI::App* verify =
      app.add_subcommand("verify", "Run the updater's own start-up check over an update.");
  CLI::App* extract = app.add_subcommand(
      "extract", "Write an update's banner, files and a manifest that rebuilds it into DIR.");
  for (CLI::App* command : {list, verify, extract}) {
    command->add_option("update", update, "the update program")->required();
    command->add_option("--package-offset", offset,
                        "where the package starts (default " + std::to_string(kPackageOffset) +
                            ")");
  }
  extract->add_option("dir", dir, "an empty or new folder")->required();

  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::ParseError& e) {
    int code = app.exit(e, out, err);
    return code == 0 ? kExitDone : kExitUsage;
  }
  try {
    if (*build) return RunBuild(*build, o, out, err, progressTerminal);
    if (*list) return ListUpdate(PathFromUtf8(update), offset, out, err);
    if (*verify) return VerifyUpdate(PathFromUtf8(update), offset, out, err);
    if (*extract) return ExtractUpdate(PathFromUtf8(update), offset, PathFromUtf8(dir), out, err);
  } catch (const UsageError& e) {
    err << "mkupdate: " << e.message << "\nRun with --help for more information.\n";
    return kExitUsage;
  } catch (const std::exception& e) {
    err << "mkupdate: " << e.what() << "\n";
    return kExitInvalid;
  }
  return kExitUsage;
}
