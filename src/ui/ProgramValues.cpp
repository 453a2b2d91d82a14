#include "ProgramValues.h"

int g_nProjectorSlot = 0;
std::string g_strChosenCode;
std::string g_strChosenModel;
bool g_bProjectorChosen = false;
bool g_bMicTableFromController = false;
std::string g_strSearchKeyword;

session::CTrafficLog& ProgramTrafficLog() {
    static session::CTrafficLog log;
    return log;
}

void ResetProgramValues() {
    g_nProjectorSlot = 0;
    g_strChosenCode.clear();
    g_strChosenModel.clear();
    g_bProjectorChosen = false;
    g_bMicTableFromController = false;
    g_strSearchKeyword.clear();
}
