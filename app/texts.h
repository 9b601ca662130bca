// The texts of the main window, its menu, the confirmation boxes and the two
// dialogs, for the hosts that build them in code (the Windows program keeps
// the same texts in its resource script).
#pragma once

#include "app/window_proc.h"
#include "host/window.h"

constexpr char kWindowTitle[] = "TAVRO Ver.1.5";
// The first lines of the box that refuses a replay, before its reason.
constexpr char kReplayErrorIntro[] = "The replay cannot be played.\n\n";
// Caption of the confirmation boxes.
constexpr char kBoxCaption[] = "TAVRO";

// The box that asks before a ranked game's replay is sent: what is sent and
// what becomes public.
constexpr char kSendReplayText[] =
    "ランクインしたゲームのリプレイをネットランキングのサーバーに送信しますか？\n\n"
    "送信するもの: このセッションのリプレイ (操作の記録と、開始時の設定とランキング)。\n"
    "公開されるもの: 認められたゲームの名前・スコア・レベルと、そのリプレイ。"
    "リプレイの中のほかの人の名前は伏せられます。";

constexpr const char* ConfirmText(ConfirmBox box) {
  return box == ConfirmBox::Exit           ? "プログラムを終了してもいいですか ?"
         : box == ConfirmBox::ClearRanking ? "ランキングをクリアしてよろしいですか？"
                                           : kSendReplayText;
}

// One item of the menu bar's popups; id 0 is a separator.
struct MenuEntry {
  const char* text;
  int id;
  bool checkable;
};

struct PopupEntry {
  const char* title;
  MenuEntry items[7];
  int count;
};

constexpr PopupEntry kMainMenu[3] = {
    {"ゲーム(&F)",
     {{"開始(&S)", ID_GAME_START, false},
      {"ゲーム中止(&D)", ID_GAME_STOP, false},
      {nullptr, 0, false},
      {"ランキングのクリア...", ID_GAME_CLEAR_RANKING, false},
      {"ネットランキング(&N)...", ID_GAME_SHARED_RANKING, false},
      {nullptr, 0, false},
      {"終了(&X)...", ID_GAME_EXIT, false}},
     7},
    {"設定(&C)",
     {{"連射(&R)", ID_SETTINGS_RAPID, true}, {"効果音(&S)", ID_SETTINGS_SOUND, true}},
     2},
    {"ヘルプ(&H)", {{"バージョン情報(&A)", ID_HELP_ABOUT, false}}, 1},
};

constexpr int kFirstCommand = ID_GAME_START;
constexpr int kCommandCount = 10;

// The hint of each command (ids 40001 to 40010): the status tip before the
// line feed, a short tool tip after it.
constexpr const char* kCommandHints[kCommandCount] = {
    "ゲームを開始します\nゲーム開始",
    "ゲームを中止してデモに戻ります\nゲーム中止",
    "TAVROを終了します\n終了",
    "連射のON/OFFを変更します\n連射ON/OFF",
    "バージョン情報を表示します\nバージョン情報表示",
    "Windowsヘルプを表示します\nWindowsヘルプ",
    "ランキングをクリアします\nランキングクリア",
    "効果音のON/OFFを変更します\n効果音ON/OFF",
    "フレーム枚のWait挿入のON/OFFを変更します\nWait切り替え",
    "みんなのランキングを表示します\nネットランキング",
};

constexpr const char* CommandHint(int id) {
  return id >= kFirstCommand && id < kFirstCommand + kCommandCount
             ? kCommandHints[id - kFirstCommand]
             : "";
}

// The about dialog.
constexpr char kAboutCaption[] = "TAVROのバージョン情報";
constexpr char kAboutProgramLine[] = "隕石撃ちゲーム \"TAVRO\"";
constexpr char kAboutVersionLine[] = "Version 1.5";
constexpr char kAboutSystemsLine[] = "for Windows 2000/XP/Vista/7/8/8.1かそれ以降";
constexpr char kAboutNoticeLine[] = "Copyright (C) the TAVRO authors";

// The name-entry dialog.
constexpr char kNameEntryCaption[] = "Name Entry";
constexpr char kNameEntryBanner[] = "CONGRASTULATIONS TOP 10 !!";
constexpr char kNameEntryPrompt[] = "名前を入力してください (20文字以内)";
