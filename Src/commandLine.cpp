#include "commandLine.h"

#include "meshStamp.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace {

// Qt's options that take the next word as their value.
bool qtOptionWithValue(std::string_view a) {
    static constexpr std::array<std::string_view, 13> withValue = {"-platform",
                                                                   "-platformpluginpath",
                                                                   "-platformtheme",
                                                                   "-plugin",
                                                                   "-qwindowgeometry",
                                                                   "-qwindowicon",
                                                                   "-qwindowtitle",
                                                                   "-display",
                                                                   "-geometry",
                                                                   "-style",
                                                                   "-stylesheet",
                                                                   "-session",
                                                                   "-title"};
    return std::find(withValue.begin(), withValue.end(), a) != withValue.end();
}

bool takeUp(std::string value, CommandLine& c) {
    if (!value.empty() && value[0] == '+') value.erase(0, 1);
    static constexpr std::array<std::string_view, 6> axes = {"x", "y", "z", "-x", "-y", "-z"};
    if (std::find(axes.begin(), axes.end(), value) == axes.end()) {
        c.error = "--up needs one of x, y, z, -x, -y, -z, not '" + value + "'";
        return false;
    }
    c.up = value;
    return true;
}

} // namespace

CommandLine parseCommandLine(int argc, const char* const* argv) {
    CommandLine c;
    bool optionsEnded = false;
    for (int k = 1; k < argc; ++k) {
        const std::string a = argv[k];
        if (optionsEnded || a.empty() || a[0] != '-' || a == "-") {
            c.files.push_back(a);
        } else if (a == "--") {
            optionsEnded = true;
        } else if (a == "--help" || a == "-h") {
            c.help = true;
        } else if (a == "--version") {
            c.version = true;
        } else if (a == "--up") {
            if (k + 1 >= argc) {
                c.error = "--up needs an axis";
                return c;
            }
            if (!takeUp(argv[++k], c)) return c;
        } else if (a.rfind("--up=", 0) == 0) {
            if (!takeUp(a.substr(5), c)) return c;
        } else if (a.rfind("--", 0) == 0) {
            c.error = "unknown option " + a;
            return c;
        } else if (qtOptionWithValue(a)) {
            ++k;
        }
    }
    return c;
}

std::string helpText() {
    return "usage: orvalis [--up AXIS] [FILE...]\n"
           "\n"
           "Shows a triangle mesh with a trackball that is nudged towards its good views.\n"
           "\n"
           "Without files, shows the models of the data tree one level above the current\n"
           "folder. Each FILE (.off, .obj, .ply or .smf) is shown at once and its goodness\n"
           "maps are baked in the background into the data tree: ../Data when the current\n"
           "folder has one, otherwise your own tree, $XDG_DATA_HOME/orvalis (by default\n"
           "~/.local/share/orvalis). A file whose maps are already there is not baked again.\n"
           "File > Open and dropping files on the window do the same while it runs.\n"
           "\n"
           "Options:\n"
           "  --up AXIS    the files' up axis: x, y, z, -x, -y or -z (default: y for OBJ and\n"
           "               PLY, z for OFF and SMF); the model is shown with it pointing up\n"
           "  --help, -h   this text\n"
           "  --version    the version\n"
           "Qt's own options (-platform NAME, -style NAME, ...) are passed to Qt.\n"
           "\n"
           "Exit status: 0 when the window is closed, 1 when a file cannot be opened or the\n"
           "data tree cannot be made, 2 for a bad command line, 255 when the data tree's\n"
           "lists are missing.\n";
}

std::string versionText() {
    return std::string("orvalis ") + ORVALIS_VERSION + " (maps of orvalis-bake revision " +
           std::to_string(bakerRevision) + ")\n";
}
