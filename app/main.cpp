// VexaRecorder: the desktop program.
#include "app/process_entry.h"

int main(int argc, char** argv) {
    return vexa::app::ProcessEntry(argc, argv);
}
