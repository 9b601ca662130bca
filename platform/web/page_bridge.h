// The calls from the program into its page (page/tavro-page.js). Each passes
// its arguments on to the page's TavroPage object; the waiting ones suspend
// the program (Asyncify) until the page answers.
#pragma once

#include <emscripten/em_macros.h>

// The waiting calls are imported under the names EM_ASYNC_JS gives them.
#define PAGE_ASYNC(name) EM_IMPORT(__asyncjs__##name)

extern "C" {

// The page's title (the window's caption).
void PageSetTitle(const char* title);
// The menu bar, built once at start-up.
void PageAddPopup(const char* title);
void PageAddItem(int popup, const char* text, int id, int checkable, const char* hint);
void PageSetItemState(int id, int enabled, int checked);

// The test hook's script (?script=NAME), fetched before start-up: UTF-8 in a
// buffer from malloc (the caller frees it), its length in *length; null
// when the page was opened without one.
char* PageScriptText(int* length);
// A line for the player under the playfield (an error of the test hook).
void PageShowMessage(const char* text);

// Shows the `count` rectangles (x, y, width, height: 4 ints each) of 512 x
// 512 RGBA pixels that changed (all of them when `whole`) on the playfield
// canvas in the display's next frame; the pixels must stay until then (a
// later picture may change them, and adds its own rectangles).
void PageShowFrame(const unsigned char* rgba, const int* rects, int count, int whole,
                   double framesRun);
// The score line and the ranking's rows (one a line) as text for screen
// readers.
void PageMirror(const char* scoreLine, const char* rankingRows);
// Waits for something to do: returns 0 at once when input is waiting, else 1
// once the next 20 ms tick has come on the page's own clock, whatever the
// display's rate (with waitFlag 0, once the browser has had its turn). No
// tick comes while a menu is open or the page is hidden.
int PageWaitForWork(int waitFlag) PAGE_ASYNC(PageWaitForWork);
// Takes the oldest waiting input: its kind (PageEventKind) and arguments, or
// 0 when none waits.
int PageTakeEvent(int* first, int* second);
// Queues an event of the program's own behind those waiting, as a posted
// message.
void PagePostEvent(int kind);

// The modal boxes; they return when the player has answered.
int PageConfirm(const char* caption, const char* text) PAGE_ASYNC(PageConfirm);
void PageAbout(const char* caption, const char* programLine, const char* versionLine,
               const char* systemsLine, const char* noticeLine) PAGE_ASYNC(PageAbout);
// The typed name in UTF-8, with its length; the caller frees it. Null when
// the program's memory is full.
char* PageNameEntry(int* length, const char* caption, const char* banner, const char* prompt,
                    int maxColumns) PAGE_ASYNC(PageNameEntry);
// Shows the surface drawn so far and waits.
void PageSleep(int milliseconds) PAGE_ASYNC(PageSleep);
// Has the page fetch the whole glyph table.
void PageFetchGlyphTable();
// The whole glyph table once the page has it, in a buffer from malloc (kept
// for the program's life, or freed by the caller), its size in *size; null
// until then, and after it was taken.
unsigned char* PageTakeGlyphTable(int* size);
// True once the page has given up fetching the whole glyph table.
int PageGlyphTableFailed();
// The program has ended: the page says so.
void PageEnded();
// Tells the page the script has played to its end.
void PagePlaybackEnded();

// Web Audio.
int PageAudioOpen();
int PageAudioCreate(int id, int channels, int sampleRate, int bytesPerSample,
                    const unsigned char* samples, int bytes);
void PageAudioPlay(int id);
void PageAudioPlayImage(const unsigned char* image, int size);
void PageAudioMute(int muted);
void PageAudioClose();
}

enum PageEventKind {
  kPageEventNone = 0,
  kPageEventClick = 1,    // x, y on the playfield
  kPageEventMove = 2,     // x, y on the playfield
  kPageEventCommand = 3,  // menu command id
  kPageEventClose = 4,    // the close request the exit command posts
  kPageEventOnline = 5,   // the shared ranking dialog has an action waiting
  kPageEventKey = 6,      // a playback key: its character
};
