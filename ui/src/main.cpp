#include "BackupApp.h"

CBackupApp theApp;

int main(int argc, char** argv) {
    return AfxWinMain(argc, argv);
}
