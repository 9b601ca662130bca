// The menu bar: its popups, check marks and greying as the program sets
// them when a popup opens, and the mouse, touch and keyboard ways to choose.
"use strict";

((page) => {
  const menubar = document.getElementById("menubar");
  const popups = [];  // {title, element, items: [{element, id, mnemonic}]}
  const itemsById = new Map();
  // the page's own items, each placed after a program item: afterId -> items
  const pageItems = new Map();
  let openIndex = -1;
  // where the keyboard was before the menu opened, to return to
  let focusBefore = null;

  // "開始(&S)" as the text with S underlined, and its mnemonic.
  function labelOf(text) {
    const fragment = document.createDocumentFragment();
    const at = text.indexOf("&");
    if (at < 0 || at + 1 >= text.length) {
      fragment.append(text);
      return { fragment, mnemonic: null };
    }
    const key = text[at + 1];
    const underline = document.createElement("u");
    underline.textContent = key;
    fragment.append(text.slice(0, at), underline, text.slice(at + 2));
    return { fragment, mnemonic: key.toLowerCase() };
  }

  page.addPopup = (titleText) => {
    const index = popups.length;
    const title = document.createElement("button");
    title.type = "button";
    title.className = "menu-title";
    title.setAttribute("role", "menuitem");
    title.setAttribute("aria-haspopup", "true");
    title.setAttribute("aria-expanded", "false");
    const label = labelOf(titleText);
    title.append(label.fragment);
    const element = document.createElement("div");
    element.className = "menu-popup";
    element.setAttribute("role", "menu");
    element.hidden = true;
    popups.push({ title, element, items: [], mnemonic: label.mnemonic });
    menubar.append(title);
    document.body.append(element);
    title.addEventListener("pointerdown", (event) => {
      event.preventDefault();
      if (openIndex === index) closeMenu(true);
      else openMenu(index, false);
    });
    title.addEventListener("pointerenter", () => {
      if (openIndex >= 0 && openIndex !== index) openMenu(index, false);
    });
    title.addEventListener("keydown", (event) => {
      if (event.key === "Enter" || event.key === " " || event.key === "ArrowDown") {
        event.preventDefault();
        openMenu(index, true);
      } else if (event.key === "ArrowRight" || event.key === "ArrowLeft") {
        event.preventDefault();
        const step = event.key === "ArrowRight" ? 1 : popups.length - 1;
        popups[(index + step) % popups.length].title.focus();
      }
    });
    page.fitPlayfield();
  };

  // An item of the page's own in popup popupIndex, placed after the program's
  // item afterId once the program adds it: it runs `action` in the page.
  page.addPageItem = (popupIndex, afterId, text, hint, action) => {
    const list = pageItems.get(afterId) || [];
    list.push({ popupIndex, text, hint, action });
    pageItems.set(afterId, list);
  };

  page.addItem = (popupIndex, text, id, checkable, hint, action = null) => {
    const popup = popups[popupIndex];
    if (text === null) {
      const separator = document.createElement("hr");
      separator.className = "menu-separator";
      separator.setAttribute("role", "separator");
      popup.element.append(separator);
      return;
    }
    const element = document.createElement("button");
    element.type = "button";
    element.className = "menu-item";
    element.tabIndex = -1;
    element.setAttribute("role", checkable ? "menuitemcheckbox" : "menuitem");
    const check = document.createElement("span");
    check.className = "check";
    check.textContent = "✓";
    const label = labelOf(text);
    const span = document.createElement("span");
    span.append(label.fragment);
    element.append(check, span);
    const [statusTip, toolTip] = hint.split("\n");
    element.title = toolTip || "";
    // checked in the template, as the resource has them
    if (checkable) element.setAttribute("aria-checked", "true");
    const item = { element, id, mnemonic: label.mnemonic, statusTip: statusTip || "", action };
    popup.items.push(item);
    popup.element.append(element);
    if (!action) itemsById.set(id, item);
    element.addEventListener("click", () => choose(item));
    element.addEventListener("pointerenter", () => element.focus());
    element.addEventListener("focus", () => page.showMessage(item.statusTip));
    element.addEventListener("keydown", (event) => menuKey(event, popupIndex, item));
    for (const own of pageItems.get(id) || []) {
      if (own.popupIndex === popupIndex) page.addItem(popupIndex, own.text, 0, false, own.hint, own.action);
    }
  };

  page.setItemState = (id, enabled, checked) => {
    const item = itemsById.get(id);
    if (!item) return;
    item.element.setAttribute("aria-disabled", enabled ? "false" : "true");
    if (item.element.hasAttribute("aria-checked")) {
      item.element.setAttribute("aria-checked", checked ? "true" : "false");
    }
  };

  function openMenu(index, byKeyboard) {
    if (page.programEnded || !page.ready) return;
    if (openIndex < 0) focusBefore = document.activeElement;
    const before = focusBefore;
    closeMenu(false);
    focusBefore = before;
    const popup = popups[index];
    // the program sets the popup's checks and greying as it opens
    Module._WebInitMenuPopup(index);
    const box = popup.title.getBoundingClientRect();
    popup.element.style.left = box.left + window.scrollX + "px";
    popup.element.style.top = box.bottom + window.scrollY + "px";
    popup.element.hidden = false;
    popup.title.setAttribute("aria-expanded", "true");
    openIndex = index;
    page.menuOpen = true;
    if (byKeyboard) popup.items[0].element.focus();
  }

  // Closes the open popup, if any; focusTitle puts the keyboard on its title,
  // else it goes back to where it was before the menu opened.
  function closeMenu(focusTitle) {
    if (openIndex < 0) return;
    const popup = popups[openIndex];
    popup.element.hidden = true;
    popup.title.setAttribute("aria-expanded", "false");
    const back = focusBefore;
    focusBefore = null;
    if (focusTitle) {
      popup.title.focus();
    } else if (popup.element.contains(document.activeElement)) {
      if (back && back !== document.body && back.isConnected && !back.closest(".menu-popup")) {
        back.focus({ preventScroll: true });
      } else {
        document.activeElement.blur();
      }
    }
    openIndex = -1;
    page.menuOpen = false;
    page.showMessage("");
    page.pump();
  }

  function choose(item) {
    if (item.element.getAttribute("aria-disabled") === "true") return;
    closeMenu(false);
    if (item.action) item.action();
    else page.queueCommand(item.id);
  }

  function menuKey(event, popupIndex, item) {
    const items = popups[popupIndex].items;
    const at = items.indexOf(item);
    const key = event.key;
    if (key === "ArrowDown" || key === "ArrowUp") {
      const step = key === "ArrowDown" ? 1 : items.length - 1;
      items[(at + step) % items.length].element.focus();
    } else if (key === "ArrowRight" || key === "ArrowLeft") {
      const step = key === "ArrowRight" ? 1 : popups.length - 1;
      openMenu((popupIndex + step) % popups.length, true);
    } else if (key === "Escape") {
      closeMenu(true);
    } else if (key === "Enter" || key === " ") {
      choose(item);
    } else if (key === "Tab") {
      closeMenu(false);
      return;
    } else {
      const match = items.find((i) => i.mnemonic && i.mnemonic === key.toLowerCase());
      if (!match) return;
      choose(match);
    }
    event.preventDefault();
  }

  document.addEventListener("pointerdown", (event) => {
    if (openIndex < 0) return;
    if (popups[openIndex].element.contains(event.target)) return;
    if (menubar.contains(event.target)) return;
    closeMenu(false);
  });

  // Alt with a popup's letter opens it, F10 (or Alt alone) goes to the menu
  // bar, as with a window's menu.
  document.addEventListener("keydown", (event) => {
    if (document.querySelector("dialog[open]") || page.programEnded) return;
    if (event.key === "Escape" && openIndex >= 0) {
      event.preventDefault();
      closeMenu(true);
    } else if (event.altKey && !event.ctrlKey && event.key.length === 1) {
      const index = popups.findIndex((p) => p.mnemonic === event.key.toLowerCase());
      if (index >= 0) {
        event.preventDefault();
        openMenu(index, true);
      }
    } else if (event.key === "F10" && popups.length > 0) {
      event.preventDefault();
      closeMenu(false);
      popups[0].title.focus();
    }
  });

  page.closeMenu = closeMenu;
})(TavroPage);
