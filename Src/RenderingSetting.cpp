#include "RenderingSetting.h"

#include "DataDir.h"
#include "viewPath.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "file.h"

namespace {

constexpr int NameBufferSize = 50;

// Reads white-space separated names, each into its own 50-byte buffer. A name that does not fit
// is reported with its position in the list and ends the process.
void readNameList(std::FILE* f, const std::string& path, std::vector<char*>& names) {
    int position = 0;
    for (;;) {
        int c;
        while ((c = std::fgetc(f)) != EOF && std::isspace(static_cast<unsigned char>(c))) {
        }
        if (c == EOF)
            return;
        ++position;
        char* name = static_cast<char*>(std::calloc(NameBufferSize, 1));
        if (!name) {
            std::fprintf(stderr, "cannot allocate a name of the list (%s)\n", path.c_str());
            endProcess(-1);
        }
        int length = 0;
        while (c != EOF && !std::isspace(static_cast<unsigned char>(c))) {
            if (length == NameBufferSize - 1) {
                std::free(name);
                std::fprintf(stderr, "entry %d of the list (%s) is longer than %d characters\n",
                             position, path.c_str(), NameBufferSize - 1);
                endProcess(-1);
            }
            name[length++] = static_cast<char>(c);
            c = std::fgetc(f);
        }
        names.push_back(name);
        if (c == EOF)
            return;
    }
}

// Composes dir + parts into a 1024-byte result buffer. Paths are bounded by the 49-character
// names, so they always fit; snprintf keeps that true even if the bound ever changes.
char* composePath(char* buffer, const std::string& path) {
    std::snprintf(buffer, 1024, "%s", path.c_str());
    return buffer;
}

} // namespace

RenderingSetting::RenderingSetting() {
    viewpathRecorder = new viewPath();
    const std::string attributeListPath = getResourcePath("Data/Attributes/attributeList.txt");
    std::FILE* attributeList = std::fopen(attributeListPath.c_str(), "r");
    if (!attributeList) {
        std::fprintf(stderr, "cannot open the file (%s) that specify the list of attributes\n",
                     attributeListPath.c_str());
        endProcess(-1);
    }
    const std::string modelListPath = getResourcePath("Data/Models/modelList.txt");
    std::FILE* modelList = std::fopen(modelListPath.c_str(), "r");
    if (!modelList) {
        std::fclose(attributeList);
        std::fprintf(stderr, "cannot open the file (modelList.txt) that specify the list of models\n");
        endProcess(-1);
    }
    readNameList(attributeList, attributeListPath, attributeNames);
    readNameList(modelList, modelListPath, modelNames);
    std::fclose(attributeList);
    std::fclose(modelList);
    // Every path builder indexes both lists, so an empty one leaves no valid selection.
    if (attributeNames.empty()) {
        std::fprintf(stderr, "the file (%s) that specify the list of attributes names none\n",
                     attributeListPath.c_str());
        endProcess(-1);
    }
    if (modelNames.empty()) {
        std::fprintf(stderr, "the file (%s) that specify the list of models names none\n",
                     modelListPath.c_str());
        endProcess(-1);
    }
}

RenderingSetting::~RenderingSetting() {
    if (viewpathRecorder && saveViewpath)
        viewpathRecorder->closeViewpathFileForSave();
    delete viewpathRecorder;
    // The name strings live as long as the process; only the sequences go with the object.
}

char* RenderingSetting::modelFilePath() {
    composePath(modelPath,
                getResourcePath("Data/Models/") + modelNames[selectedModel] + ".off");
    std::printf("%s\n", modelPath);
    return modelPath;
}

char* RenderingSetting::goodnessFilePath() {
    const std::string model = modelNames[selectedModel];
    return composePath(goodnessPath, getResourcePath("Data/Attributes/") + model + "/" + model +
                                         "_" + attributeNames[selectedAttribute] + ".pgm");
}

char* RenderingSetting::gradientFilePath() {
    const std::string model = modelNames[selectedModel];
    return composePath(gradientPath, getResourcePath("Data/Attributes/") + model + "/" + model +
                                         "_" + attributeNames[selectedAttribute] + ".vgf");
}

char* RenderingSetting::viewpointFilePath() {
    return composePath(viewpointPath, getResourcePath("Data/Orbits/") +
                                          modelNames[selectedModel] + "_orbit.txt");
}

void RenderingSetting::toggleSaveViewpath() {
    if (!saveViewpath) {
        saveViewpath = true;
        viewpathRecorder->openViewpathFileForSave();
    } else {
        saveViewpath = false;
        viewpathRecorder->closeViewpathFileForSave();
    }
}
