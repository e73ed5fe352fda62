// Writes the seed corpora of the fuzz targets, each file made by our own code: .msh files from
// the mesh writer and hand-built section bytes, OBJ text and a side file from the exporter run,
// foreign OBJ and side-file text in the forms other tools write, and byte strings that shape
// round-trip meshes.
//
//   make_fuzz_seeds <fuzz/corpus directory>
#include "msh.h"
#include "quillout/run.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("could not write " + path.string());
}

// Two groups over consecutive triangles and vertex spans, a group-to-matrix table, two matrices.
MeshHandle makeSmallMesh() {
    MeshHandle mesh(mshCreate(7, 4, 2, 2, 2));
    if (!mesh)
        throw std::runtime_error("out of memory");
    for (uint32_t i = 0; i < 7; ++i) {
        const float f = float(i);
        mesh->vertices[i] =
            MeshVertex{f, -0.5f * f, 1.0f / (f + 1.0f), 0, 0, 1, f / 7.0f, 1.0f - f / 7.0f};
    }
    mesh->triangles[0] = MeshTriangle{{0, 1, 2}};
    mesh->triangles[1] = MeshTriangle{{0, 2, 3}};
    mesh->triangles[2] = MeshTriangle{{0, 1, 2}};
    mesh->triangles[3] = MeshTriangle{{2, 1, 0}};
    mesh->groups[0] = MeshGroup{7, 6, 0, 4, 0};
    mesh->groups[1] = MeshGroup{9, 6, 4, 3, 6};
    mesh->groupMatrix[0] = 1;
    mesh->groupMatrix[1] = 0;
    mesh->matrices[0] = MeshMatrix{{1, 0, 0, 0, 1, 0, 0, 0, 1}};
    mesh->matrices[1] = MeshMatrix{{0.5f, -0.25f, 0, 0.25f, 0.5f, 0, 0, 0, -2.0f}};
    return mesh;
}

std::string u32(uint32_t value) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = char((value >> (8 * i)) & 0xFF);
    return bytes;
}

std::string header(const char* tag, uint32_t count) { return std::string(tag, 4) + u32(count); }

void writeMshSeeds(const fs::path& dir, const fs::path& scratch) {
    const MeshHandle mesh = makeSmallMesh();
    const fs::path saved = scratch / "small.msh";
    if (mshSave(saved.c_str(), mesh.get()) != 1)
        throw std::runtime_error("could not save the seed mesh");
    const std::string whole = readBytes(saved);
    writeBytes(dir / "writer_order.msh", whole);
    writeBytes(dir / "empty.msh", "");
    writeBytes(dir / "empty_vertices.msh", header("VERT", 0));
    // The sections of the same mesh in reverse order, each copied from the writer's file.
    const size_t vert = 8 + 44 * 7, indl = 8 + 6 * 4, grpl = 8 + 20 * 2, gtom = 8 + 4 * 2;
    const std::string v = whole.substr(0, vert), i = whole.substr(vert, indl),
                      g = whole.substr(vert + indl, grpl),
                      t = whole.substr(vert + indl + grpl, gtom),
                      m = whole.substr(vert + indl + grpl + gtom);
    writeBytes(dir / "reverse_order.msh", m + t + g + i + v);
    writeBytes(dir / "end_marker.msh", v + header("SVWL", 0) + "trailing bytes");
    writeBytes(dir / "duplicate_section.msh", g + g);
    writeBytes(dir / "indices_not_triples.msh", header("INDL", 4) + u32(0) + u32(0));
    writeBytes(dir / "unknown_tag.msh", header("ABCD", 5));
    writeBytes(dir / "huge_count.msh", header("VERT", 0xFFFFFFFFu) + u32(0));
    writeBytes(dir / "group_past_triangles.msh",
               i + header("GRPL", 1) + u32(1) + u32(30) + u32(0) + u32(3) + u32(6));
}

void writeObjSeeds(const fs::path& objDir, const fs::path& sideDir, const fs::path& scratch) {
    const std::string msh = (scratch / "small.msh").string();
    const std::string obj = (scratch / "small.obj").string();
    std::string arguments[] = {"quillout", msh, obj};
    char* argv[] = {arguments[0].data(), arguments[1].data(), arguments[2].data(), nullptr};
    if (quillout::runQuillout(3, argv) != 0)
        throw std::runtime_error("could not export the seed mesh");
    writeBytes(objDir / "exported.obj", readBytes(obj));
    writeBytes(sideDir / "exported.matrix", readBytes(scratch / "small.matrix"));

    writeBytes(
        objDir / "foreign.obj",
        "# comment\r\no cube\r\nmtllib a.mtl\r\nv 0 0 0\r\nv 1 0 0\r\nv 1 1 0\r\nv 0 1 0 1.0\r\n"
        "vt 0 0\r\nvt 1 0 0\r\nvn 0 0 1\r\nusemtl red\r\ns off\r\ng side/3\r\n"
        "f 1/1/1 2/2/1 3/2/1 4/1/1\r\nf 1//1 3//1 4//1 # trailing comment\r\nf -4/-2 -3/-1 "
        "-2/-1\r\n");
    writeBytes(objDir / "plain_faces.obj", "v 1 2 3\nv .5 -2 +3\nv 1e3 0x1p3 inf\nf 1 2 3\nf 3 2 1 "
                                           "1\ng\ng my part/12\nf 1 2 3\ng x/y\ngg\n");
    writeBytes(objDir / "bad_reference.obj", "v 0 0 0\nf 1 2 3\n");
    writeBytes(objDir / "long_line.obj",
               "v " + std::string(300, '1') + " 2 3\n" + "vn 1 2 3" + std::string(247, ' ') +
                   "f 1 1 1\n" + "g 'quoted'/4\tx\n" + "vt 0.25\tt 1\n" + "f 1/1/1 1/1/1 1/1/1\n");
    writeBytes(objDir / "nul_byte.obj", std::string("v 1 2 3\nf 1 1\0 1\nf 1/1 1/1 1/1\n", 31));

    writeBytes(sideDir / "interleaved.matrix",
               "m 1e-3 0 0 0 1 0 0 0 1\ng 1 0\nm -1 2 3 4 5 6 7 8 9 10\ng 0 3 7\ng 0 -1\n");
    writeBytes(sideDir / "odd_rows.matrix", "gx\nG 1 2\ng\t1 2\nm1\ng 2 x\ng 9\nm 1\n# end\n");
    writeBytes(sideDir / "long_row.matrix",
               "g 0 0\nm " + std::string(250, '9') + " 1 2 3 4 5 6 7 8\nm 'a' 1\n");
}

// Byte strings that shape the round trip's meshes: all zero, one rising run, one pattern.
void writeRoundTripSeeds(const fs::path& dir) {
    writeBytes(dir / "zeros", std::string(64, '\0'));
    std::string rising;
    for (int i = 0; i < 512; ++i)
        rising += char(i * 7 + 3);
    writeBytes(dir / "rising", rising);
    std::string pattern;
    uint32_t state = 12345;
    for (int i = 0; i < 2048; ++i) {
        state = state * 1103515245u + 12345u;
        pattern += char(state >> 24);
    }
    writeBytes(dir / "pattern", pattern);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("Usage: make_fuzz_seeds <fuzz/corpus directory>\n", stdout);
        return 0;
    }
    try {
        const fs::path corpus = argv[1];
        const fs::path scratch = fs::temp_directory_path() / "quill-fuzz-seeds";
        fs::create_directories(scratch);
        for (const char* target :
             {"fuzz_msh_load", "fuzz_obj_reader", "fuzz_side_file", "fuzz_round_trip"})
            fs::create_directories(corpus / target);
        writeMshSeeds(corpus / "fuzz_msh_load", scratch);
        writeObjSeeds(corpus / "fuzz_obj_reader", corpus / "fuzz_side_file", scratch);
        writeRoundTripSeeds(corpus / "fuzz_round_trip");
        fs::remove_all(scratch);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_fuzz_seeds: %s\n", error.what());
        return 1;
    }
    return 0;
}
