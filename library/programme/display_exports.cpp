// C bridge of the display-window and live-display exports: converts arguments and results and lets no
// exception out.
#include <string_view>

#include "kelvra/kelvra.h"
#include "library/base/c_boundary.h"
#include "library/programme/live_display.h"

namespace live = kelvra::live;

namespace {

using kelvra::boundary::guarded;
using kelvra::boundary::text;

live::CardRef card(const char* id, const char* ip, int iProtoType, uint32_t parameter = 0) {
    return live::CardRef{text(id), text(ip), kelvra::proto_type_of(iProtoType), parameter};
}

}  // namespace

int CreateMuliAreaWindow(uint32_t rect1, uint32_t rect2, uint32_t rect3, uint32_t rect4, uint32_t areaSetWord,
                         uint32_t areaWord, const char* cCardId, const char* cCardIp, uint32_t parameter,
                         int iProtoType) {
    return guarded(live::kNoMemory, [&] {
        return live::create_multi_area_window(card(cCardId, cCardIp, iProtoType, parameter),
                                              {rect1, rect2, rect3, rect4}, areaSetWord, areaWord);
    });
}

int InsertListToArea(uint32_t listWord, int /*unused1*/, const char* cCardId, const char* cCardIp,
                     uint32_t parameter, int iProtoType, int /*unused2*/) {
    return guarded(live::kNoMemory, [&] {
        return live::insert_list_to_area(card(cCardId, cCardIp, iProtoType, parameter), listWord);
    });
}

int CreateWnd(uint32_t window, const char* cCardId, const char* cCardIp, int iProtoType, uint32_t parameter,
              uint32_t rect1, uint32_t rect2, uint32_t rect3, uint32_t rect4, uint32_t windowWord,
              uint32_t styleWord, int marker) {
    return guarded(live::kNoMemory, [&] {
        return live::create_window(card(cCardId, cCardIp, iProtoType, parameter), window,
                                   {rect1, rect2, rect3, rect4}, windowWord, styleWord, marker == 1);
    });
}

int AddVideoToWnd(uint32_t window, const char* videoPath, const char* cCardId, const char* cCardIp,
                  int iProtoType, int /*unused*/) {
    if (videoPath == nullptr) return live::kVideoNotAvi;
    return guarded(live::kNoMemory,
                   [&] { return live::add_video(card(cCardId, cCardIp, iProtoType), window, videoPath); });
}

int AddPicToWnd(uint32_t window, const char* picturePath, const char* cCardId, const char* cCardIp,
                int iProtoType, uint32_t loopCount, uint32_t entryEffect, uint32_t clearEffect,
                uint32_t entrySpeed, uint32_t clearSpeed, uint32_t staySeconds, uint32_t displayMode,
                int gifSwitch) {
    return guarded(live::kNoMemory, [&] {
        const kelvra::programme::PlayNumbers n{loopCount,  entryEffect, clearEffect, entrySpeed,
                                               clearSpeed, staySeconds, displayMode};
        return live::add_picture(card(cCardId, cCardIp, iProtoType), window, text(picturePath), n,
                                 gifSwitch == 1);
    });
}

int DelPicInWnd(uint32_t window, const char* cardFileName, const char* cCardId, const char* cCardIp,
                int iProtoType) {
    return guarded(live::kNoMemory, [&] {
        return live::delete_picture(card(cCardId, cCardIp, iProtoType), window, text(cardFileName));
    });
}

int LockOrUnlockWnd(uint32_t window, const char* cCardId, const char* cCardIp, int /*unused*/, int iProtoType,
                    uint32_t lockWord) {
    return guarded(live::kNoMemory,
                   [&] { return live::lock_window(card(cCardId, cCardIp, iProtoType), window, lockWord); });
}

int DestroyWnd(uint32_t window, const char* cCardId, const char* cCardIp, int iProtoType) {
    return guarded(live::kNoMemory,
                   [&] { return live::destroy_window(card(cCardId, cCardIp, iProtoType), window); });
}

int ShowPicture(const char* cCardId, const char* cCardIp, int iProtoType, uint32_t parameter,
                const char* picturePath) {
    return guarded(live::kShowNoMemory, [&] {
        return live::show_picture(card(cCardId, cCardIp, iProtoType, parameter), text(picturePath));
    });
}

int SendScreenPicToCards(int32_t left, int32_t top, int32_t right, int32_t bottom, const char* cCardId,
                         const char* cCardIp, uint32_t parameter, int iProtoType) {
    return guarded(live::kNoMemory, [&] {
        return live::send_screen_picture(card(cCardId, cCardIp, iProtoType, parameter),
                                         kelvra::imaging::ScreenRect{left, top, right, bottom});
    });
}

int CreateWindowRegin(uint32_t word1, uint32_t word2, uint32_t word3, uint32_t word4, uint32_t word5) {
    return guarded(0, [&] { return live::create_window_region({word1, word2, word3, word4, word5}); });
}

int RealTimeInsertGlintWindow(const char* cCardId, const char* cCardIp, uint32_t parameter, int iProtoType,
                              const char* picturePath, uint32_t flashWord) {
    return guarded(live::kNoMemory, [&] {
        return live::insert_glint_window(card(cCardId, cCardIp, iProtoType, parameter), text(picturePath),
                                         flashWord);
    });
}

int AddPicAndStunt(const char* cCardId, const char* cCardIp, int iProtoType, uint32_t parameter,
                   const char* cPicFileName, uint32_t loopCount, uint32_t entryEffect, uint32_t clearEffect,
                   uint32_t entrySpeed, uint32_t clearSpeed, uint32_t staySeconds, uint32_t displayMode,
                   int gifSwitch) {
    return guarded(live::kNoMemory, [&] {
        const kelvra::programme::PlayNumbers n{loopCount,  entryEffect, clearEffect, entrySpeed,
                                               clearSpeed, staySeconds, displayMode};
        return live::add_picture_and_stunt(card(cCardId, cCardIp, iProtoType, parameter), text(cPicFileName),
                                           n, gifSwitch == 1);
    });
}

int ShowPicStunt(int windowSwitch, uint32_t rect1, uint32_t rect2, uint32_t rect3, uint32_t rect4,
                 int markerSwitch, const char* cCardId, const char* cCardIp, uint32_t parameter,
                 int iProtoType, int immediate) {
    return guarded(live::kNoMemory, [&] {
        live::StuntShow show;
        show.window = windowSwitch == 1;
        show.rect = {rect1, rect2, rect3, rect4};
        show.marker = markerSwitch == 1;
        show.immediate = immediate == 1;
        return live::show_stunt(card(cCardId, cCardIp, iProtoType, parameter), show);
    });
}

int ExitPicStunt(const char* cCardId, const char* cCardIp, int iProtoType, int /*unused*/) {
    return guarded(live::kNoMemory, [&] { return live::exit_stunt(card(cCardId, cCardIp, iProtoType)); });
}
