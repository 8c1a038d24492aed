#include "fenwold/FenwoldStrings.h"

#include <cstdlib>
#include <cstring>

#include "fenwold/Resource.h"

namespace fenwold {

namespace {

struct Text {
    UINT nId;
    const char* menu;
    const char* prompt;
};

// The prompts of the framework's standard commands and those of the program.
constexpr Text kEnglish[] = {
    {IDM_FILE, "&File", nullptr},
    {ID_FILE_NEW, "&New\tCtrl+N", "Create a new document\nNew"},
    {ID_FILE_OPEN, "&Open...\tCtrl+O", "Open an existing document\nOpen"},
    {ID_FILE_SAVE, "&Save\tCtrl+S", "Save the active document\nSave"},
    {ID_FILE_SAVE_AS, "Save &As...", "Save the active document with a new name\nSave As"},
    {ID_FILE_IMPORT, "&Import...", "Import Configuration\nImport"},
    {ID_FILE_EXPORT, "&Export...", "Export Configuration\nExport"},
    {ID_FILE_PRINT, "&Print...\tCtrl+P", "Print the active document\nPrint"},
    {ID_FILE_PRINT_PREVIEW, "Print Pre&view", "Display full pages\nPrint Preview"},
    {ID_FILE_PRINT_SETUP, "P&rint Setup...", "Change the printer and printing options\nPrint Setup"},
    {ID_FILE_MRU_FILE1, "Recent File", "Open this document"},
    {ID_FILE_MRU_FILE1 + 1, "", "Open this document"},
    {ID_FILE_MRU_FILE1 + 2, "", "Open this document"},
    {ID_FILE_MRU_FILE4, "", "Open this document"},
    {ID_APP_EXIT, "E&xit", "Quit the application; prompts to save documents\nExit"},
    {IDM_EDIT, "&Edit", nullptr},
    {ID_EDIT_UNDO, "&Undo\tCtrl+Z", "Undo the last action\nUndo"},
    {ID_EDIT_CUT, "Cu&t\tCtrl+X", "Cut the selection and put it on the Clipboard\nCut"},
    {ID_EDIT_COPY, "&Copy\tCtrl+C", "Copy the selection and put it on the Clipboard\nCopy"},
    {ID_EDIT_PASTE, "&Paste\tCtrl+V", "Insert Clipboard contents\nPaste"},
    {ID_EDIT_OPTION, "&Options...", "Options"},
    {IDM_CONFIG, "&Config", nullptr},
    {ID_CONFIG_SELECT_TOPIC, "Select &Topic", "Select Topic"},
    {ID_CONFIG_SELECT_ITEM, "Select &Item", nullptr},
    {ID_CONFIG_EDIT_DEVICE, "&Edit Topic...", nullptr},
    {ID_CONFIG_EDIT_MEMORY, "E&dit Item...", nullptr},
    {ID_CONFIG_NEW_DEVICE, "&Add Topic...", "Enter a new data topic(group).\nAdd Topic"},
    {ID_CONFIG_NEW_MEMORY, "Add I&tem...", "Enter a new data item.\nAdd Item"},
    {ID_CONFIG_DELETE_DEVICE, "De&lete Topic", nullptr},
    {ID_CONFIG_DELETE_MEMORY, "Delete Ite&m", nullptr},
    {ID_SERIAL_SETUP, "C&hannel Setup...", "Setup Serial Port"},
    {ID_SET_TIMEOUT, "Timeout &Setup...", "Set Timeout"},
    {ID_COMMAND_DIAG, "Command Dia&gnostic...", "Command Diagnostic"},
    {ID_REDUNDANCY, "&Redundancy...", "Setup Redundancy Options"},
    {IDM_MODE, "&Mode", nullptr},
    {ID_MODE_ONLINE, "&Online", "Put the server into online mode."},
    {ID_MODE_OFFLINE, "O&ffline", "Put the server into offline mode."},
    {IDM_VIEW, "&View", nullptr},
    {ID_VIEW_TOOLBAR, "&Toolbar", "Show or hide the toolbar\nToggle ToolBar"},
    {ID_VIEW_STATUS_BAR, "&Status Bar", "Show or hide the status bar\nToggle StatusBar"},
    {ID_VIEW_EVENTS, "&Events", "View Events"},
    {ID_VIEW_COMMANDS, "&Commands", nullptr},
    {ID_VIEW_ERRORS, "E&rrors", nullptr},
    {ID_VIEW_ACTIONS, "&Actions", nullptr},
    {ID_VIEW_INIT_VALUES, "&Initial Values", "View Initial Values"},
    {IDM_VIEW_TRACES, "Tra&ces", nullptr},
    {ID_VIEW_TRACE_DETAIL, "&Detail", "View Trace Detail"},
    {ID_VIEW_TRACE_SIMPLE, "&Simple", "View Trace Simple"},
    {ID_VIEW_NO_TRACE, "&None", "View Trace None"},
    {ID_VIEW_LOGTOFILE, "&Log to File", "Log all messages to file"},
    {IDM_HELP, "&Help", nullptr},
    {ID_APP_ABOUT, "&About Fenwold...", "Display program information, version number and copyright\nAbout"},
};

constexpr Text kKorean[] = {
    {IDM_FILE, "파일(&F)", nullptr},
    {ID_FILE_NEW, "새로 만들기(&N)\tCtrl+N", "새 문서를 만듭니다.\n새로 만들기"},
    {ID_FILE_OPEN, "열기(&O)...\tCtrl+O", "기존 문서를 엽니다.\n열기"},
    {ID_FILE_SAVE, "저장(&S)\tCtrl+S", "현재 문서를 저장합니다.\n저장"},
    {ID_FILE_SAVE_AS, "다른 이름으로 저장(&A)...", "현재 문서를 새 이름으로 저장합니다.\n다른 이름으로 저장"},
    {ID_FILE_IMPORT, "가져오기(&I)...", "구성 가져오기\n가져오기"},
    {ID_FILE_EXPORT, "내보내기(&E)...", "구성 내보내기\n내보내기"},
    {ID_FILE_PRINT, "인쇄(&P)...\tCtrl+P", "현재 문서를 인쇄합니다.\n인쇄"},
    {ID_FILE_PRINT_PREVIEW, "인쇄 미리 보기(&V)", "전체 페이지를 표시합니다.\n인쇄 미리 보기"},
    {ID_FILE_PRINT_SETUP, "인쇄 설정(&R)...", "프린터와 인쇄 옵션을 바꿉니다.\n인쇄 설정"},
    {ID_FILE_MRU_FILE1, "최근 파일", "이 문서를 엽니다."},
    {ID_FILE_MRU_FILE1 + 1, "", "이 문서를 엽니다."},
    {ID_FILE_MRU_FILE1 + 2, "", "이 문서를 엽니다."},
    {ID_FILE_MRU_FILE4, "", "이 문서를 엽니다."},
    {ID_APP_EXIT, "끝내기(&X)", "프로그램을 끝냅니다. 저장할 문서가 있으면 묻습니다.\n끝내기"},
    {IDM_EDIT, "편집(&E)", nullptr},
    {ID_EDIT_UNDO, "실행 취소(&U)\tCtrl+Z", "마지막 작업을 취소합니다.\n실행 취소"},
    {ID_EDIT_CUT, "잘라내기(&T)\tCtrl+X", "선택한 내용을 잘라 클립보드에 넣습니다.\n잘라내기"},
    {ID_EDIT_COPY, "복사(&C)\tCtrl+C", "선택한 내용을 클립보드에 복사합니다.\n복사"},
    {ID_EDIT_PASTE, "붙여넣기(&P)\tCtrl+V", "클립보드의 내용을 넣습니다.\n붙여넣기"},
    {ID_EDIT_OPTION, "옵션(&O)...", "옵션"},
    {IDM_CONFIG, "구성(&C)", nullptr},
    {ID_CONFIG_SELECT_TOPIC, "토픽 선택(&T)", "토픽 선택"},
    {ID_CONFIG_SELECT_ITEM, "항목 선택(&I)", nullptr},
    {ID_CONFIG_EDIT_DEVICE, "토픽 편집(&E)...", nullptr},
    {ID_CONFIG_EDIT_MEMORY, "항목 편집(&D)...", nullptr},
    {ID_CONFIG_NEW_DEVICE, "토픽 추가(&A)...", "새 데이터 토픽(그룹)을 입력합니다.\n토픽 추가"},
    {ID_CONFIG_NEW_MEMORY, "항목 추가(&T)...", "새 데이터 항목을 입력합니다.\n항목 추가"},
    {ID_CONFIG_DELETE_DEVICE, "토픽 삭제(&L)", nullptr},
    {ID_CONFIG_DELETE_MEMORY, "항목 삭제(&M)", nullptr},
    {ID_SERIAL_SETUP, "채널 설정(&H)...", "직렬 포트 설정"},
    {ID_SET_TIMEOUT, "시간 제한 설정(&S)...", "시간 제한 설정"},
    {ID_COMMAND_DIAG, "명령 진단(&G)...", "명령 진단"},
    {ID_REDUNDANCY, "이중화(&R)...", "이중화 옵션 설정"},
    {IDM_MODE, "모드(&M)", nullptr},
    {ID_MODE_ONLINE, "온라인(&O)", "서버를 온라인 모드로 바꿉니다."},
    {ID_MODE_OFFLINE, "오프라인(&F)", "서버를 오프라인 모드로 바꿉니다."},
    {IDM_VIEW, "보기(&V)", nullptr},
    {ID_VIEW_TOOLBAR, "도구 모음(&T)", "도구 모음을 표시하거나 숨깁니다.\n도구 모음"},
    {ID_VIEW_STATUS_BAR, "상태 표시줄(&S)", "상태 표시줄을 표시하거나 숨깁니다.\n상태 표시줄"},
    {ID_VIEW_EVENTS, "이벤트(&E)", "이벤트 보기"},
    {ID_VIEW_COMMANDS, "명령(&C)", nullptr},
    {ID_VIEW_ERRORS, "오류(&R)", nullptr},
    {ID_VIEW_ACTIONS, "동작(&A)", nullptr},
    {ID_VIEW_INIT_VALUES, "초기값(&I)", "초기값 보기"},
    {IDM_VIEW_TRACES, "트레이스(&C)", nullptr},
    {ID_VIEW_TRACE_DETAIL, "자세히(&D)", "자세한 트레이스 보기"},
    {ID_VIEW_TRACE_SIMPLE, "간단히(&S)", "간단한 트레이스 보기"},
    {ID_VIEW_NO_TRACE, "없음(&N)", "트레이스 보지 않기"},
    {ID_VIEW_LOGTOFILE, "파일에 기록(&L)", "모든 메시지를 파일에 기록합니다."},
    {IDM_HELP, "도움말(&H)", nullptr},
    {ID_APP_ABOUT, "Fenwold 정보(&A)...", "프로그램 정보, 버전 번호와 저작권을 표시합니다.\n정보"},
};

template <std::size_t N>
const Text* Find(const Text (&table)[N], UINT nId)
{
    for (const Text& text : table)
        if (text.nId == nId)
            return &text;
    return nullptr;
}

std::string Lookup(Language language, UINT nId, const char* Text::*field)
{
    const Text* own = language == Language::Korean ? Find(kKorean, nId) : nullptr;
    if (own && own->*field)
        return own->*field;
    const Text* english = Find(kEnglish, nId);
    return english && english->*field ? english->*field : "";
}

} // namespace

Language LanguageFromLocale(const char* pszLcAll, const char* pszLcMessages, const char* pszLang)
{
    for (const char* value : {pszLcAll, pszLcMessages, pszLang}) {
        if (!value || !*value)
            continue;
        return std::strncmp(value, "ko", 2) == 0 && (value[2] == '\0' || value[2] == '_' || value[2] == '.')
                   ? Language::Korean
                   : Language::English;
    }
    return Language::English;
}

Language LanguageOfEnvironment()
{
    return LanguageFromLocale(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG"));
}

std::string MenuText(Language language, UINT nId) { return Lookup(language, nId, &Text::menu); }

std::string PromptText(Language language, UINT nId) { return Lookup(language, nId, &Text::prompt); }

} // namespace fenwold
