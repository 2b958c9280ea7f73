// trazel-cli fab: the fabrication package of the demo board as a folder and as one archive that unzip
// accepts, holding exactly what its README.txt lists; a job file a JSON parser takes; and a run that
// cannot finish its archive leaves the older one and no scratch files behind.
#include <set>
#include <sstream>

#include "cam/fab_package.h"
#include "cli_runner.h"

using namespace cli_test;

namespace {

bool have(const char* tool) {
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// The names README.txt lists: the first word of each line after the title and the empty line.
std::set<std::string> readme_names(const std::string& text) {
    std::set<std::string> names;
    std::istringstream in(text);
    std::string line;
    std::getline(in, line);
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::string name = line.substr(0, line.find(' '));
        if (!name.empty() && name != "\r") {
            names.insert(name);
        }
    }
    return names;
}

std::set<std::string> files_in(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) {
        names.insert(e.path().filename().string());
    }
    return names;
}

const std::string kDemo = source("share/examples/demo.pcb");

} // namespace

TEST(CliFab, FolderAndArchiveHoldExactlyWhatTheReadmeLists) {
    Scratch s;
    Result d = run(s, "fab " + quote(kDemo) + " --out " + quote(s / "pkg"));
    ASSERT_EQ(d.status, 0) << d.err;
    const std::set<std::string> listed = readme_names(slurp(s / "pkg/README.txt"));
    EXPECT_EQ(files_in(s / "pkg"), listed);
    for (const char* name : {"demo.top", "demo.drl", "demo-pos.csv", "demo.ipc", "demo-bom.csv", "demo.gbrjob"}) {
        EXPECT_EQ(listed.count(name), 1u) << name;
    }
    // The drill file of a package carries its header unless asked not to.
    EXPECT_EQ(slurp(s / "pkg/demo.drl").rfind("M48", 0), 0u);

    Result z = run(s, "fab " + quote(kDemo) + " --out " + quote(s / "demo.zip"));
    ASSERT_EQ(z.status, 0) << z.err;
    EXPECT_EQ(files_in(s.dir), (std::set<std::string>{"demo.zip", "pkg"})); // no scratch folder left
    if (!have("unzip")) {
        GTEST_SKIP() << "unzip is missing (make deps installs it)";
    }
    EXPECT_EQ(std::system(("unzip -tq " + quote(s / "demo.zip") + " >/dev/null").c_str()), 0);
    ASSERT_EQ(std::system(("cd " + quote(s.dir.string()) + " && mkdir x && cd x && unzip -q ../demo.zip").c_str()), 0);
    EXPECT_EQ(files_in(s / "x"), listed);
    EXPECT_EQ(slurp(s / "x/demo.top"), slurp(s / "pkg/demo.top"));
}

TEST(CliFab, TheJobFileIsJsonNamingTheFabricationFiles) {
    Scratch s;
    Result d = run(s, "fab " + quote(kDemo) + " --out " + quote(s / "pkg"));
    ASSERT_EQ(d.status, 0) << d.err;
    if (!have("python3")) {
        GTEST_SKIP() << "python3 is missing";
    }
    // Every Gerber and drill file is named once with a function and polarity; the listing is not.
    std::string check = "import json,sys\n"
                        "j=json.load(open(sys.argv[1]))\n"
                        "assert j['Header']['GenerationSoftware']['Application']=='trazel'\n"
                        "assert j['GeneralSpecs']['Size']['X']>0 and j['GeneralSpecs']['LayerNumber']>=1\n"
                        "paths=[f['Path'] for f in j['FilesAttributes']]\n"
                        "assert len(paths)==len(set(paths))\n"
                        "assert 'demo.lst' not in paths and 'demo.dwg' not in paths\n"
                        "assert all(f['FilePolarity'] in ('Positive','Negative') for f in j['FilesAttributes'])\n";
    spit(s / "check.py", check);
    EXPECT_EQ(std::system(("python3 " + quote(s / "check.py") + " " + quote(s / "pkg/demo.gbrjob")).c_str()), 0);

    // The job file's date is the run's, with its offset from UTC.
    trazel::cam::DateTime t{2026, 3, 4, 5, 6, 7, -330};
    EXPECT_NE(trazel::cam::gerber_job_json("p", "1", t, 1, 2, 2, {}).find("\"CreationDate\": \"2026-03-04T05:06:07-05:30\""),
              std::string::npos);
    // Names with quotes and control characters stay valid JSON strings.
    std::string job = trazel::cam::gerber_job_json("a\"b\\c\x01", "1", t, 1, 2, 2, {{"x.top", "Copper,L1,Top", "Positive"}});
    EXPECT_NE(job.find("\"Name\": \"a\\\"b\\\\c\\u0001\""), std::string::npos) << job;
}

TEST(CliFab, AFailedArchiveLeavesTheOlderOneAndNoScratchFiles) {
    Scratch s;
    spit(s / "old.zip", "OLD");
    // A folder where the archive's scratch file would go: the archive cannot be made.
    fs::create_directories(s / "old.zip.partial/keep");
    Result r = run(s, "fab " + quote(kDemo) + " --out " + quote(s / "old.zip"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("The fabrication package was not made"), std::string::npos) << r.err;
    EXPECT_EQ(slurp(s / "old.zip"), "OLD");
    EXPECT_EQ(files_in(s.dir), (std::set<std::string>{"old.zip", "old.zip.partial"}));

    EXPECT_EQ(run(s, "fab " + quote(kDemo)).status, 2);                       // no --out
    EXPECT_EQ(run(s, "fab " + quote(kDemo) + " --out x --bogus").status, 2); // unknown option
    Result missing = run(s, "fab " + quote(s / "nothing.pcb") + " --out " + quote(s / "y"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_FALSE(fs::exists(s / "y"));
}
