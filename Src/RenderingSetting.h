#pragma once
#include <string_view>
#include <vector>

class viewPath;

// The one settings object of the process. It is shared because the main window, the panels,
// the view, the trackball and the renderer all steer by the same selections and switches; the
// window, the panels and the view write it, everyone reads it, all on the GUI thread.
// Built during static initialisation: the constructor reads ../Data/Attributes/attributeList.txt
// and ../Data/Models/modelList.txt and ends the process (status -1) when either is missing or
// empty or holds a name longer than 49 characters.
class RenderingSetting {
public:
    RenderingSetting();

    // Set before any static object is built (by a program whose command line may choose another
    // data tree): the constructor then reads nothing, and the program calls readLists itself.
    static inline bool listsReadLater = false;
    // Reads both lists from the data tree (getResourcePath), with the messages and exit statuses
    // of the constructor. allowNoModel lets the model list be empty (the caller adds a model
    // before anything builds a path).
    void readLists(bool allowNoModel = false);
    ~RenderingSetting();
    RenderingSetting(const RenderingSetting&) = delete;
    RenderingSetting& operator=(const RenderingSetting&) = delete;

    // Each builder rebuilds its own buffer and returns it; the pointer stays valid until the next
    // call of the same builder. modelFilePath also prints the path.
    char* modelFilePath();
    char* goodnessFilePath();
    char* gradientFilePath();
    char* viewpointFilePath();

    // Starts or stops recording the viewing direction of every frame (the D key).
    void toggleSaveViewpath();

    bool showPaths = false;
    bool saveViewpath = false;
    int displayMode = 0;       // 0 sphere, 1 flat map
    int selectedModel = 0;     // index into modelNames
    int selectedAttribute = 0; // index into attributeNames
    int orbitType = 1;         // 0 turntable, 1 stored orbit
    bool throwing = false;
    bool playing = false;
    viewPath* viewpathRecorder = nullptr; // owned; holds the save file while recording
    char modelPath[1024] = {};
    char goodnessPath[1024] = {};
    char viewpointPath[1024] = {};
    char gradientPath[1024] = {};
    bool modelChanged = false;
    std::vector<char*> attributeNames; // 50-byte heap strings, file order
    std::vector<char*> modelNames;     // 50-byte heap strings, file order
    int applicationMode = 2;           // 1 Trackball, 2 Visualizer, 3 Orbit

    static RenderingSetting _instance;
};

// Appends the white-space separated names of a list file's bytes to names, each in its own
// 50-byte heap buffer, in file order. Returns 0, or the 1-based position of the first name longer
// than 49 characters (names before it are appended; nothing from it on).
int readNameList(std::string_view bytes, std::vector<char*>& names);
