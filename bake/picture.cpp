#include "picture.h"

#include "bakeerror.h"
#include "bakemodel.h"
#include "litmodel.h"
#include "mapimage.h"
#include "mesh.h"
#include "meshread.h"
#include "offscreen.h"
#include "sphere_samples.h"

#include <GL/gl.h>
#include <QImage>

#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw BakeError(path.string() + ": cannot be read");
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The viewer's state for the model square (GLWidget::initializeGL and paintGL), with the camera
// turned round to look from direction.
void drawAsTheViewer(const Smesh& model, vec direction) {
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glEnable(GL_NORMALIZE);
    setupSceneLights();
    const ViewCamera camera(direction);
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixd(camera.projection);
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixd(camera.view);
    glDisable(GL_TEXTURE_2D);
    drawLitTriangles(model);
}

} // namespace

void bestCell(const std::string& pgm, const std::string& path, int& i, int& j, int& width,
              int& height) {
    GoodnessImage image;
    const std::string why = parsePGMImage(pgm, image);
    if (!why.empty()) throw BakeError(path + ": " + why);
    size_t best = 0;
    const size_t cells = static_cast<size_t>(image.width) * image.height;
    for (size_t c = 1; c < cells; ++c)
        if (image.cells[3 * c] > image.cells[3 * best]) best = c;
    width = image.width;
    height = image.height;
    i = static_cast<int>(best % image.width);
    j = static_cast<int>(best / image.width);
}

void writeViewPicture(const fs::path& modelFile, vec direction, const fs::path& png, int size) {
    // The baker's checks first, for their plain words on a missing or unreadable file.
    readMeshFile(modelFile.string());
    Smesh model;
    const MeshOwner owner{&model};
    const ReadResult read = readModelFile(&model, modelFile.c_str());
    if (!read) throw BakeError(read.message);
    try {
        computeNormals(&model);
    } catch (const MeshAllocError& error) {
        throw BakeError(allocationFailure(error).message);
    }
    const int drawn = 2 * size;
    OffscreenRenderer renderer(drawn);
    std::vector<unsigned char> rgba;
    renderer.renderPicture([&] { drawAsTheViewer(model, direction); }, rgba);
    QImage image(size, size, QImage::Format_RGB888);
    for (int y = 0; y < size; ++y) {
        uchar* line = image.scanLine(size - 1 - y); // GL rows run from the bottom
        for (int x = 0; x < size; ++x)
            for (int c = 0; c < 3; ++c) {
                int sum = 0;
                for (int dy = 0; dy < 2; ++dy)
                    for (int dx = 0; dx < 2; ++dx)
                        sum +=
                            rgba[4 * ((static_cast<size_t>(2 * y + dy)) * drawn + 2 * x + dx) + c];
                line[3 * x + c] = static_cast<uchar>((sum + 2) / 4);
            }
    }
    if (!image.save(QString::fromStdString(png.string()), "PNG"))
        throw BakeError("cannot write the picture " + png.string());
}

void writeBestViewPicture(const fs::path& root, const std::string& name, const fs::path& png,
                          int size) {
    const std::string attribute = bakedAttributeNames().front();
    const fs::path pgm = root / "Data/Attributes" / name / (name + "_" + attribute + ".pgm");
    int i = 0, j = 0, width = 0, height = 0;
    bestCell(readBytes(pgm), pgm.string(), i, j, width, height);
    writeViewPicture(root / "Data/Models" / (name + ".off"), cellDirection(i, j, width, height),
                     png, size);
}
