#include "literal_reader.h"

#include "msh.h"
#include "msh_alloc.h"
#include "quillin/assemble.h"
#include "quillin/obj_reader.h"
#include "quillin/side_file_reader.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

using quillin::allocateObjTables;
using quillin::assembleMesh;
using quillin::GroupMatrixPair;
using quillin::kNoIndex;
using quillin::MeshPlan;
using quillin::ObjCorner;
using quillin::ObjCounts;
using quillin::ObjFace;
using quillin::ObjGroup;
using quillin::ObjTables;
using quillin::ObjVec2;
using quillin::ObjVec3;
using quillin::planMesh;
using quillin::plannedVertexCount;
using quillin::releaseMeshPlan;
using quillin::releaseObjTables;
using quillin::releaseSideTables;
using quillin::SideTables;

namespace {

int countChar(const char* text, char c) {
    int count = 0;
    for (; *text != '\0'; ++text)
        count += *text == c;
    return count;
}

// An OBJ number as the table number quillin gives it for the files of the benchmark.
uint32_t objIndex(const char* text) { return static_cast<uint32_t>(std::atoi(text) - 1); }

bool countObj(FILE* file, ObjCounts& counts) {
    char line[256];
    counts = ObjCounts{};
    while (std::fgets(line, sizeof line, file) != nullptr) {
        if (line[0] == 'g')
            ++counts.groups;
        else if (line[0] == 'f')
            ++counts.faces, counts.corners += 3;
        else if (line[0] == 'v' && line[1] == ' ')
            ++counts.positions;
        else if (line[0] == 'v' && line[1] == 'n')
            ++counts.normals;
        else if (line[0] == 'v' && line[1] == 't')
            ++counts.texcoords;
    }
    std::rewind(file);
    return true;
}

// The three corners of a face line, stored from `corners` on.
void parseFace(const char* line, ObjCorner* corners) {
    char keyword[64], a[64], b[64], c[64];
    std::sscanf(line, "%63[^' '] %63[^' '] %63[^' '] %63s", keyword, a, b, c);
    const char* fields[3] = {a, b, c};
    const int slashes = countChar(line, '/');
    for (int k = 0; k < 3; ++k) {
        char p[32] = "", t[32] = "", n[32] = "";
        ObjCorner& corner = corners[k];
        corner.texcoord = kNoIndex;
        corner.normal = kNoIndex;
        if (slashes == 6) {
            std::sscanf(fields[k], "%31[^'/']/%31[^'/']/%31s", p, t, n);
            corner.texcoord = objIndex(t);
            corner.normal = objIndex(n);
        } else if (slashes == 3) {
            std::sscanf(fields[k], "%31[^'/']/%31s", p, t);
            corner.texcoord = objIndex(t);
        } else {
            std::strcpy(p, fields[k]);
        }
        corner.position = objIndex(p);
    }
}

void parseObj(FILE* file, ObjTables& tables) {
    char line[256], keyword[64], x[64], y[64], z[64];
    uint32_t pi = 0, ti = 0, ni = 0, fi = 0, gi = 0;
    while (std::fgets(line, sizeof line, file) != nullptr) {
        if (line[0] == 'v' && line[1] == ' ') {
            std::sscanf(line, "%63[^' '] %63[^' '] %63[^' '] %63s", keyword, x, y, z);
            tables.positions[pi++] =
                ObjVec3{float(std::strtod(x, nullptr)), float(std::strtod(y, nullptr)),
                        float(std::strtod(z, nullptr))};
        } else if (line[0] == 'v' && line[1] == 'n' && line[2] == ' ') {
            std::sscanf(line, "%63[^' '] %63[^' '] %63[^' '] %63s", keyword, x, y, z);
            tables.normals[ni++] =
                ObjVec3{float(std::strtod(x, nullptr)), float(std::strtod(y, nullptr)),
                        float(std::strtod(z, nullptr))};
        } else if (line[0] == 'v' && line[1] == 't' && line[2] == ' ') {
            std::sscanf(line, "%63[^' '] %63[^' '] %63s", keyword, x, y);
            tables.texcoords[ti++] =
                ObjVec2{float(std::strtod(x, nullptr)), float(std::strtod(y, nullptr))};
        } else if (line[0] == 'f' && line[1] == ' ') {
            parseFace(line, tables.corners + 3 * fi);
            tables.faces[fi] = ObjFace{3 * fi, 3};
            ++fi;
        } else if (line[0] == 'g' && line[1] == ' ') {
            char name[64] = "", id[64] = "";
            std::sscanf(line, "%63[^' '] %63[^'/']/%63s", keyword, name, id);
            tables.groups[gi++] = ObjGroup{uint32_t(std::atoi(id)), fi, 0};
        }
    }
    for (uint32_t j = 0; j < gi; ++j)
        tables.groups[j].faceCount =
            (j + 1 < gi ? tables.groups[j + 1].firstFace : fi) - tables.groups[j].firstFace;
    tables.storedFaces = fi;
    tables.storedGroups = gi;
}

bool readSide(const char* path, SideTables& side) {
    FILE* file = std::fopen(path, "r");
    if (file == nullptr)
        return false;
    char line[256];
    uint32_t rows = 0, matrices = 0;
    while (std::fgets(line, sizeof line, file) != nullptr) {
        rows += line[0] == 'g' && line[1] == ' ';
        matrices += line[0] == 'm' && line[1] == ' ';
    }
    std::rewind(file);
    side = SideTables{mshAllocateArray<GroupMatrixPair>(rows), rows,
                      mshAllocateArray<MeshMatrix>(matrices), matrices};
    uint32_t r = 0, m = 0;
    char t[10][64];
    while (std::fgets(line, sizeof line, file) != nullptr) {
        if (line[0] == 'g' && line[1] == ' ') {
            std::sscanf(line, "%63[^' '] %63[^' '] %63s", t[0], t[1], t[2]);
            side.pairs[r++] = GroupMatrixPair{uint32_t(std::atoi(t[1])), uint32_t(std::atoi(t[2]))};
        } else if (line[0] == 'm' && line[1] == ' ') {
            std::sscanf(
                line,
                "%63[^' '] %63[^' '] %63[^' '] %63[^' '] %63[^' '] %63[^' '] %63[^' '] %63[^' '] "
                "%63[^' '] %63s",
                t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7], t[8], t[9]);
            for (int k = 0; k < 9; ++k)
                side.matrices[m].value[k] = float(std::strtod(t[k + 1], nullptr));
            ++m;
        }
    }
    std::fclose(file);
    return true;
}

} // namespace

int runLiteralImporter(int argc, char** argv) {
    if (argc < 3)
        return 0;
    FILE* file = std::fopen(argv[1], "r");
    if (file == nullptr)
        return -1;
    ObjCounts counts;
    countObj(file, counts);
    ObjTables obj{};
    if (!allocateObjTables(counts, obj)) {
        std::fclose(file);
        return -1;
    }
    parseObj(file, obj);
    std::fclose(file);
    SideTables side{};
    if (argc > 3 && !readSide(argv[3], side)) {
        releaseObjTables(obj);
        return -1;
    }
    MeshPlan plan{};
    Mesh* mesh = nullptr;
    if (planMesh(obj, side, plan))
        mesh = mshCreate(plannedVertexCount(plan), plan.triangleCount, plan.recordCount,
                         plan.groupMatrixCount, side.matrixCount);
    const int saved =
        mesh != nullptr && assembleMesh(obj, side, plan, *mesh) ? mshSave(argv[2], mesh) : 0;
    releaseMeshPlan(plan);
    releaseObjTables(obj);
    releaseSideTables(side);
    mshFree(mesh);
    return saved == 1 ? 0 : -1;
}
