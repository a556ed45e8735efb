// What the last load reported, for tools that explain why a picture is not shown.
#include "imaging/image_loader.h"

namespace {

struct LoadReport {
    const char* FailureReason;
    size_t BlockSize;
};

LoadReport LastLoad = {"", 0};

}  // namespace

const char* LastLoadFailure() { return LastLoad.FailureReason; }

void SetLoadFailure(const char* reason) {
    LastLoad.FailureReason = reason ? reason : "";
    LastLoad.BlockSize = 0;
}

size_t LastLoadBlockSize() { return LastLoad.BlockSize; }

void SetLoadSuccess(size_t blockSize) {
    LastLoad.FailureReason = "";
    LastLoad.BlockSize = blockSize;
}
