#include "options.h"

#include "textscan.h"

#include "bakeerror.h"
#include "gradient.h"
#include "mesh.h"

#include <cmath>
#include <cstdio>

namespace {

int optionInt(const std::string& option, const std::string& text, int lo, int hi) {
    int value = 0;
    if (!parseInt(text, value))
        throw BakeError(option + " needs a whole number, not '" + text + "'");
    if (value < lo || value > hi)
        throw BakeError(option + " must lie between " + std::to_string(lo) + " and " +
                        std::to_string(hi) + ", not " + text);
    return value;
}

double optionNumber(const std::string& option, const std::string& text) {
    double value = 0;
    if (!parseDouble(text, value) || !std::isfinite(value) || value <= 0)
        throw BakeError(option + " needs a positive number, not '" + text + "'");
    return value;
}

} // namespace

BakeOptions parseOptions(const std::vector<std::string>& args) {
    BakeOptions o;
    bool optionsEnded = false;
    for (size_t k = 0; k < args.size(); ++k) {
        const std::string& a = args[k];
        if (optionsEnded || a.empty() || a[0] != '-' || a == "-") {
            o.meshes.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        std::string option = a, value;
        bool hasValue = false;
        const size_t eq = a.find('=');
        if (a.rfind("--", 0) == 0 && eq != std::string::npos) {
            option = a.substr(0, eq);
            value = a.substr(eq + 1);
            hasValue = true;
        }
        auto takeValue = [&]() -> std::string {
            if (hasValue) return value;
            if (k + 1 >= args.size()) throw BakeError(option + " needs a value");
            return args[++k];
        };
        auto noValue = [&] {
            if (hasValue) throw BakeError(option + " takes no value");
        };
        if (option == "--help" || option == "-h") {
            noValue();
            o.help = true;
        } else if (option == "--quiet" || option == "-q") {
            noValue();
            o.quiet = true;
        } else if (option == "--progress-lines") {
            noValue();
            o.progressLines = true;
        } else if (option == "--root") {
            o.root = takeValue();
            if (o.root.empty()) throw BakeError("--root needs a folder");
        } else if (option == "--name") {
            o.name = takeValue();
        } else if (option == "--size") {
            const std::string v = takeValue();
            const size_t x = v.find('x');
            if (x == std::string::npos)
                throw BakeError("--size needs WIDTHxHEIGHT, as in 360x180, not '" + v + "'");
            o.width = optionInt("--size width", v.substr(0, x), 8, 4096);
            o.height = optionInt("--size height", v.substr(x + 1), 4, 2048);
        } else if (option == "--samples") {
            o.samples = optionInt(option, takeValue(), 50, 100000);
        } else if (option == "--resolution") {
            o.resolution = optionInt(option, takeValue(), 32, 2048);
        } else if (option == "--picture") {
            o.picture = takeValue();
            if (o.picture.empty()) throw BakeError("--picture needs a file name");
        } else if (option == "--picture-size") {
            o.pictureSize = optionInt(option, takeValue(), 16, 4096);
        } else if (option == "--picture-only") {
            noValue();
            o.pictureOnly = true;
        } else if (option == "--threads") {
            o.threads = optionInt(option, takeValue(), 1, 16);
        } else if (option == "--up") {
            o.up = takeValue();
            if (!isUpAxis(o.up))
                throw BakeError("--up needs one of x, y, z, -x, -y, -z, not '" + o.up + "'");
        } else if (option == "--gradient-scale") {
            o.gradientScale = optionNumber(option, takeValue());
        } else {
            throw BakeError("unknown option " + option);
        }
    }
    if (!o.help && o.meshes.empty())
        throw BakeError(o.pictureOnly ? "no model name given" : "no mesh file given");
    if (o.pictureOnly && o.picture.empty()) throw BakeError("--picture-only needs --picture FILE");
    if (!o.picture.empty() && o.meshes.size() > 1)
        throw BakeError("--picture shows one model, but " + std::to_string(o.meshes.size()) +
                        " are given");
    if (!o.name.empty() && o.meshes.size() > 1)
        throw BakeError("--name names one model, but " + std::to_string(o.meshes.size()) +
                        " mesh files are given");
    return o;
}

std::string helpText() {
    char scale[32];
    std::snprintf(scale, sizeof scale, "%g", defaultGradientScale);
    return std::string(
               "usage: orvalis-bake [options] MESH...\n"
               "\n"
               "Computes, for each mesh (.off, .obj, .ply or .smf), the goodness maps, their\n"
               "gradients and an orbit that the Orvalis viewer needs, and adds the model to a "
               "data\n"
               "tree. The mesh is read and normalised as the viewer reads it, rendered offscreen\n"
               "from many viewing directions (no display needed) and measured in every view.\n"
               "\n"
               "Writes, for a model NAME:\n"
               "  ROOT/Data/Models/NAME.off\n"
               "  ROOT/Data/Attributes/NAME/NAME_ATTRIBUTE.pgm and .vgf, for every attribute\n"
               "  ROOT/Data/Orbits/NAME_orbit.txt\n"
               "and adds NAME and any new attribute to ROOT/Data/Models/modelList.txt and\n"
               "ROOT/Data/Attributes/attributeList.txt, keeping the entries already there.\n"
               "Files are replaced only when everything of a model has been written.\n"
               "\n"
               "Attributes (0..1, 1 = best; all but outside scaled to 0..1 over the map):\n"
               "  quality     0.7 (0.3 visibility + 0.3 entropy + 0.2 area + 0.2 silhouette)\n"
               "              + 0.25 elevation + 0.05 outside, rescaled; listed first, so the\n"
               "              viewer's trackball nudges with it\n"
               "  area        projected area: the share of the image the model covers\n"
               "  visibility  visible surface fraction: the share of the surface area in view\n"
               "  entropy     viewpoint entropy of the visible faces' projected areas\n"
               "  silhouette  length of the outline against the background\n"
               "  elevation   preference for views about 30 degrees above the model's horizon\n"
               "  offaxis     preference for views off the model's principal axes\n"
               "  outside     1 - the share of the model's pixels that show its inside (back\n"
               "              faces, seen through a hole or an open side)\n"
               "\n"
               "Options:\n"
               "  --root DIR            the data tree root (default: .., the tree the viewer\n"
               "                        reads when started in the current folder)\n"
               "  --name NAME           the model name (one mesh only; default: the file name up\n"
               "                        to its first '.'); letters, digits, '_', '-', '+'\n"
               "  --up AXIS             the meshes' up axis: x, y, z, -x, -y or -z (default: z);\n"
               "                        the model is turned so that it stands upright in the\n"
               "                        viewer, which shows +z up\n"
               "  --size WxH            goodness map size (default: 360x180)\n"
               "  --samples N           viewing directions rendered (default: 1500)\n"
               "  --resolution N        side of each rendered image in pixels (default: 192)\n"
               "  --threads N           views rendered side by side, each in its own offscreen\n"
               "                        context (default: one per processor core, at most 16)\n"
               "  --gradient-scale S    gradient image = S x change of goodness per cell\n"
               "                        (default: ") +
           scale +
           ")\n"
           "  --picture FILE.png    also write a picture of the model from the best cell of\n"
           "                        'quality', as the viewer shows it (one model only)\n"
           "  --picture-size N      the picture's side in pixels (default: 512)\n"
           "  --picture-only        make the picture of a model already in the tree, without\n"
           "                        baking: the arguments are then model names, not meshes\n"
           "  --quiet, -q           no progress bar\n"
           "  --progress-lines      also print \"progress N 1000\" lines (N thousandths done)\n"
           "                        on standard output, for programs that run the baker\n"
           "  --help, -h            this text\n"
           "\n"
           "Exit status: 0 when every model was baked, 1 when a mesh or the tree could not be\n"
           "used (one line on standard error says which), 2 for a bad command line.\n";
}
