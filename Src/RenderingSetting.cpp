#include "RenderingSetting.h"

#include "DataDir.h"
#include "viewPath.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "file.h"
#include "namelist.h"

namespace {

// Names live in 50-byte buffers; their last byte holds the terminating NUL.
constexpr int NameBufferSize = longestListName + 1;

[[noreturn]] void failList(const std::string& path, const char* what) {
    std::fprintf(stderr, "the file (%s) that specify the list of %s names none\n", path.c_str(),
                 what);
    endProcess(-1);
}

// A list is a few names; anything larger is not one.
constexpr size_t maxListFileSize = size_t(16) << 20;

// Reads the list at path into names; one line and the end of the process for a name that does
// not fit its buffer or a list without any name, since every path builder indexes the lists.
void loadNameList(const std::string& bytes, const std::string& path, const char* what,
                  std::vector<char*>& names, bool allowEmpty) {
    const int tooLong = readNameList(bytes, names);
    if (tooLong > 0) {
        std::fprintf(stderr, "entry %d of the list (%s) is longer than %d characters\n", tooLong,
                     path.c_str(), NameBufferSize - 1);
        endProcess(-1);
    }
    if (names.empty() && !allowEmpty) failList(path, what);
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
    viewpathRecorder->recordingSwitch = &saveViewpath;
    if (!listsReadLater) readLists();
}

void RenderingSetting::readLists(bool allowNoModel) {
    for (char* name : attributeNames)
        std::free(name);
    for (char* name : modelNames)
        std::free(name);
    attributeNames.clear();
    modelNames.clear();
    const std::string attributeListPath = getResourcePath("Data/Attributes/attributeList.txt");
    std::string attributeList;
    if (readFileBytes(attributeListPath.c_str(), attributeList, maxListFileSize) !=
        FileStatus::ok) {
        std::fprintf(stderr, "cannot open the file (%s) that specify the list of attributes\n",
                     attributeListPath.c_str());
        endProcess(-1);
    }
    const std::string modelListPath = getResourcePath("Data/Models/modelList.txt");
    std::string modelList;
    if (readFileBytes(modelListPath.c_str(), modelList, maxListFileSize) != FileStatus::ok) {
        std::fprintf(stderr,
                     "cannot open the file (modelList.txt) that specify the list of models\n");
        endProcess(-1);
    }
    loadNameList(attributeList, attributeListPath, "attributes", attributeNames, false);
    loadNameList(modelList, modelListPath, "models", modelNames, allowNoModel);
}

int readNameList(std::string_view bytes, std::vector<char*>& names) {
    std::vector<std::string_view> words;
    const int tooLong = parseNameList(bytes, words);
    for (const std::string_view word : words) {
        char* name = static_cast<char*>(std::calloc(NameBufferSize, 1));
        if (!name) {
            std::fprintf(stderr, "Memory error\n");
            endProcess(-1);
        }
        std::memcpy(name, word.data(), word.size());
        names.push_back(name);
    }
    return tooLong;
}

RenderingSetting::~RenderingSetting() {
    if (viewpathRecorder && saveViewpath) viewpathRecorder->closeViewpathFileForSave();
    delete viewpathRecorder;
    // The names are used for the whole life of the process; they go with the object at exit.
    for (char* name : attributeNames)
        std::free(name);
    for (char* name : modelNames)
        std::free(name);
}

char* RenderingSetting::modelFilePath() {
    composePath(modelPath, getResourcePath("Data/Models/") + modelNames[selectedModel] + ".off");
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
    return composePath(viewpointPath,
                       getResourcePath("Data/Orbits/") + modelNames[selectedModel] + "_orbit.txt");
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
