// The readers under fuzzing, each run on one input with the program's exits turned into
// exceptions (an exit is an outcome, not a fault).
#include "FuzzInputs.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/Fail.h"
#include "couplings/DCListData.h"
#include "driver/CmdArgParser.h"
#include "driver/Orvex.h"
#include "io/GDB.h"
#include "io/PDB.h"
#include "tensor/DTensor.h"

namespace orvexfuzz {
namespace {

// One file that holds the current input, opened by name as the readers open theirs. An
// anonymous memory file where the system has them (no disk traffic, no name to clean up),
// else a temporary file removed at exit.
class InputFile {
public:
    InputFile() {
        fd_ = memfd_create("orvex-fuzz-input", 0);
        if (fd_ >= 0) {
            path_ = "/proc/self/fd/" + std::to_string(fd_);
            return;
        }
        char name[] = "/tmp/orvex-fuzz-input-XXXXXX";
        fd_ = mkstemp(name);
        if (fd_ < 0) {
            std::perror("orvex fuzz: no file for the input");
            std::abort();
        }
        path_ = name;
        removeAtExit = path_;
        std::atexit([] { unlink(removeAtExit.c_str()); });
    }

    // Replaces the content with `size` bytes; returns the name to open.
    const std::string& hold(const uint8_t* data, size_t size) {
        if (ftruncate(fd_, 0) != 0 || (size > 0 && pwrite(fd_, data, size, 0) != static_cast<ssize_t>(size))) {
            std::perror("orvex fuzz: writing the input");
            std::abort();
        }
        return path_;
    }

private:
    static inline std::string removeAtExit;
    int fd_ = -1;
    std::string path_;
};

const std::string& holdInput(const uint8_t* data, size_t size) {
    static InputFile file;  // one per process, kept for every input
    return file.hold(data, size);
}

// Runs `read` with the exits of the program thrown as ExitRequest; the status, or kReadToEnd.
template <class Read>
int untilExit(Read&& read) {
    static const bool installed = (setExitHandler(throwExitRequest), true);
    (void)installed;
    try {
        read();
    } catch (const ExitRequest& e) {
        return e.status;
    }
    return kReadToEnd;
}

}  // namespace

int readCouplingTable(const uint8_t* data, size_t size) {
    const std::string& path = holdInput(data, size);
    return untilExit([&] {
        DCListData list;
        DTensor tensor;
        list.readDC(path, tensor);

        GDB table(path);
        const int rows = table.getEntryCount();
        for (int i = 0; i < table.VarsNumber; i++) {
            (void)table.isVarInt(i);
            (void)table.isVarFloat(i);
            (void)table.isVarString(i);
        }
        if (rows > 0) {
            const GDB_Entry last = table.getEntry(rows);
            if (!last.empty()) (void)table.getEntry(last.begin()->first, last.begin()->second, 1);
        }
        (void)table.getResidName(table.firstResID);
    });
}

int readStructure(const uint8_t* data, size_t size) {
    const std::string& path = holdInput(data, size);
    return untilExit([&] {
        PDB pdb;
        if (!pdb.loadPDB(path)) return;
        double sum = 0;
        const int firstConf = pdb.Conformers.empty() ? 1 : pdb.Conformers.begin()->first;
        for (const auto& conformer : pdb.Conformers) {
            const int conf = conformer.first;
            (void)pdb.atomCount(conf);
            pdb.forEachAtom(conf, [&sum](const CORdata& atom) { sum += atom.X + atom.Occupancy; });
        }
        std::vector<AtomPair> pairs;
        for (const auto& residue : pdb.residList) {
            const int res = residue.first;
            pairs.clear();
            pdb.getVectorPairs(pairs, res, "HN", res, "N", "_");
            pdb.getVectorPairs(pairs, res, "HB#", res, "CB", "_");
            pdb.getVectorPairs(pairs, res - 1, "C", res, "HN", "_");
            pdb.getVectorPairs_Methyl_CC(pairs, res, "CB", res, "HB#");
            pdb.getVectorPairs_Methyl_CH3(pairs, res, "CG2", res, "HG2#");
            sum += pdb.getPhi(firstConf, res) + pdb.getPsi(firstConf, res) + pdb.getChi1(firstConf, res);
        }
        volatile double keep = sum;  // the visits must not be optimised away
        (void)keep;
    });
}

std::vector<std::string> splitArguments(const uint8_t* data, size_t size) {
    std::vector<std::string> args;
    std::string arg;
    for (size_t i = 0; i <= size; i++) {
        if (i == size || data[i] == '\n' || data[i] == '\0') {
            if (!arg.empty()) args.push_back(arg);
            arg.clear();
        } else {
            arg.push_back(static_cast<char>(data[i]));
        }
    }
    return args;
}

int readCommandLine(const uint8_t* data, size_t size) {
    std::vector<std::string> args = splitArguments(data, size);
    std::vector<char*> argv;
    static char program[] = "Orvex";
    argv.push_back(program);
    for (std::string& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    const int argc = static_cast<int>(argv.size()) - 1;
    return untilExit([&] {
        Orvex app;
        if (argc == 1) app.printSyntax();  // no arguments: the usage text, as the entry does
        // the process-wide parser, emptied and filled as the entry fills it
        CmdArgParser* parser = CmdArgParser::getInstance();
        *parser = CmdArgParser();
        parser->setArg(std::string(" -"), argc, argv.data());
        app.setArgs(ArgList());
    });
}

}  // namespace orvexfuzz
