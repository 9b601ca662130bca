// The program's side of the calls into the page: each forwards to the
// TavroPage object that page/tavro-page.js defines before the program loads.
#include "platform/web/page_bridge.h"

#include <emscripten.h>

// clang-format off
EM_JS(void, PageSetTitle, (const char* title), {
  document.title = UTF8ToString(title);
});

EM_JS(void, PageAddPopup, (const char* title), {
  TavroPage.addPopup(UTF8ToString(title));
});

EM_JS(void, PageAddItem, (int popup, const char* text, int id, int checkable, const char* hint), {
  TavroPage.addItem(popup, text ? UTF8ToString(text) : null, id, checkable !== 0,
                    UTF8ToString(hint));
});

EM_JS(void, PageSetItemState, (int id, int enabled, int checked), {
  TavroPage.setItemState(id, enabled !== 0, checked !== 0);
});

EM_JS(char*, PageScriptText, (int* length), {
  const text = TavroPage.scriptText;
  return text === null ? 0 : TavroPage.programString(text, length);
});

EM_JS(void, PageShowMessage, (const char* text), {
  TavroPage.showMessage(UTF8ToString(text));
});

EM_JS(void, PageShowFrame, (const unsigned char* rgba, const int* rects, int count, int whole,
                            double framesRun), {
  let changed = null;
  if (!whole) {
    changed = [];
    for (let i = 0, at = rects >> 2; i < count; i++, at += 4) {
      changed.push([HEAP32[at], HEAP32[at + 1], HEAP32[at + 2], HEAP32[at + 3]]);
    }
  }
  TavroPage.showFrame(() => HEAPU8.subarray(rgba, rgba + 512 * 512 * 4), changed, framesRun);
});

EM_JS(void, PageMirror, (const char* scoreLine, const char* rankingRows), {
  TavroPage.mirror(UTF8ToString(scoreLine), UTF8ToString(rankingRows));
});

EM_ASYNC_JS(int, PageWaitForWork, (int waitFlag), {
  return await TavroPage.waitForWork(waitFlag);
});

EM_JS(int, PageTakeEvent, (int* first, int* second), {
  const event = TavroPage.takeEvent();
  if (!event) return 0;
  HEAP32[first >> 2] = event.first;
  HEAP32[second >> 2] = event.second;
  return event.kind;
});

EM_JS(void, PagePostEvent, (int kind), {
  TavroPage.postEvent(kind);
});

EM_ASYNC_JS(int, PageConfirm, (const char* caption, const char* text), {
  return (await TavroPage.confirm(UTF8ToString(caption), UTF8ToString(text))) ? 1 : 0;
});

EM_ASYNC_JS(void, PageAbout, (const char* caption, const char* programLine,
                              const char* versionLine, const char* systemsLine,
                              const char* noticeLine), {
  await TavroPage.about(UTF8ToString(caption), [UTF8ToString(programLine),
      UTF8ToString(versionLine), UTF8ToString(systemsLine), UTF8ToString(noticeLine)]);
});

EM_ASYNC_JS(char*, PageNameEntry, (int* length, const char* caption, const char* banner,
                                   const char* prompt, int maxColumns), {
  const name = await TavroPage.nameEntry(UTF8ToString(caption), UTF8ToString(banner),
                                         UTF8ToString(prompt), maxColumns);
  return TavroPage.programString(name, length);
});

EM_ASYNC_JS(void, PageSleep, (int milliseconds), {
  await TavroPage.sleep(milliseconds);
});

EM_JS(void, PageFetchGlyphTable, (), {
  TavroPage.fetchGlyphTable();
});

EM_JS(unsigned char*, PageTakeGlyphTable, (int* size), {
  const table = TavroPage.glyphTable.data;
  if (!table) return 0;
  const buffer = Module._malloc(table.length);
  if (!buffer) return 0;
  HEAPU8.set(table, buffer);
  HEAP32[size >> 2] = table.length;
  TavroPage.glyphTableTaken();
  return buffer;
});

EM_JS(int, PageGlyphTableFailed, (), {
  return TavroPage.glyphTable.failure ? 1 : 0;
});

EM_JS(void, PageEnded, (), {
  TavroPage.ended();
});

EM_JS(void, PagePlaybackEnded, (), {
  TavroPage.playbackEnded();
});

EM_JS(int, PageAudioOpen, (), {
  return TavroPage.audio.open() ? 1 : 0;
});

EM_JS(int, PageAudioCreate, (int id, int channels, int sampleRate, int bytesPerSample,
                             const unsigned char* samples, int bytes), {
  return TavroPage.audio.create(id, channels, sampleRate, bytesPerSample,
                                HEAPU8.subarray(samples, samples + bytes)) ? 1 : 0;
});

EM_JS(void, PageAudioPlay, (int id), {
  TavroPage.audio.play(id);
});

EM_JS(void, PageAudioPlayImage, (const unsigned char* image, int size), {
  TavroPage.audio.playImage(image, HEAPU8.subarray(image, image + size));
});

EM_JS(void, PageAudioMute, (int muted), {
  TavroPage.audio.mute(muted !== 0);
});

EM_JS(void, PageAudioClose, (), {
  TavroPage.audio.close();
});
// clang-format on
