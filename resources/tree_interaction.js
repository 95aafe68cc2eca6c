// What the user does on the picture: opening and closing nodes, the
// tooltip, the context menu, and the page's controls and keys.
"use strict";

{
    const page = window.korvantisTree;
    const {TEXT, hooks, formatCount, More, hasChildren} = page;

    function toggle(data) {
        const start = performance.now();
        let anchor = data;
        if (data instanceof More) {
            anchor = data.moreOf;
            page.showMore(anchor);
        } else if (!hasChildren(data)) {
            return;
        } else if (page.isOpen(data)) {
            page.close(data);
        } else {
            page.open(data);
        }
        page.render(anchor, () => {
            hooks.lastToggleMs = performance.now() - start;
        });
    }

    // "Expand all below": opens as much below `node` as the picture takes.
    function expandBelow(node) {
        const start = performance.now();
        const root = page.root;
        hooks.drawing = true;
        page.runInSlices(page.openBelowSteps(node), ({added, stopped}) => {
            if (page.root !== root) {
                return;  // another tree came meanwhile
            }
            page.setStatus(stopped ? TEXT.expandedPartly(added) : TEXT.expandedAll(added));
            page.render(node, () => {
                hooks.lastToggleMs = performance.now() - start;
            });
        });
    }

    // "Collapse": closes `node` and every open node below it.
    function collapse(node) {
        page.closeBelow(node);
        page.setStatus("");
        page.render(node);
    }

    // --- Tooltip and context menu -------------------------------------------

    const tooltipBox = () => document.getElementById("tooltip");
    const menuBox = () => document.getElementById("menu");

    function placeAtPointer(box, event) {
        const x = Math.min(event.clientX + 14, window.innerWidth - box.offsetWidth - 4);
        const y = Math.min(event.clientY + 14, window.innerHeight - box.offsetHeight - 4);
        box.style.left = Math.max(0, x) + "px";
        box.style.top = Math.max(0, y) + "px";
    }

    function addLine(box, label, value) {
        const line = document.createElement("div");
        if (label === null) {
            line.className = "title";
        } else {
            const span = document.createElement("span");
            span.className = "label";
            span.textContent = label + ": ";
            line.appendChild(span);
        }
        const text = document.createElement("span");
        page.setMarkedText(text, value, page.htmlMark);
        line.appendChild(text);
        box.appendChild(line);
    }

    function showTooltip(event, node) {
        if (node instanceof More || !menuBox().hidden) {
            return;
        }
        const box = tooltipBox();
        box.replaceChildren();
        addLine(box, null, node.name);
        const f = page.factsOf(node);
        if (f) {
            addLine(box, TEXT.pid, String(f[0]));
            addLine(box, TEXT.ppid, String(f[1]));
            addLine(box, TEXT.path, f[2]);
        }
        addLine(box, TEXT.descendants, formatCount(f ? f[3] : node.__count));
        const mark = page.markOf(node);
        if (mark && mark[1]) {
            addLine(box, TEXT.level, mark[1]);
            addLine(box, TEXT.rules, mark[2].join("; "));
        }
        box.hidden = false;
        placeAtPointer(box, event);
        askLifetime(box, f);
    }

    let tooltips = 0;  // tooltips shown or hidden, to drop late answers

    // How the node's run ended, asked of the window that opened the tree.
    function askLifetime(box, f) {
        const shown = ++tooltips;
        if (f && f.length > 4 && f[4] >= 0 && page.bridge && hooks.canShowEvents) {
            // The window answers later; by then another tooltip may show.
            page.bridge.lifetime(f[4], (text) => {
                if (shown === tooltips && typeof text === "string" && text !== "") {
                    addLine(box, TEXT.lifetime, text);
                    hooks.lifetime = text;
                }
            });
        }
    }

    function hideTooltip() {
        ++tooltips;
        tooltipBox().hidden = true;
    }

    let menuNode = null;

    function updateMenu() {
        const node = menuNode;
        for (const button of menuBox().querySelectorAll("button")) {
            const action = button.dataset.action;
            button.disabled = node === null ||
                (action === "expand" && !hasChildren(node)) ||
                (action === "collapse" && !page.isOpen(node)) ||
                (action === "events" && !(hooks.canShowEvents && page.factsOf(node)));
        }
    }

    function openMenu(event, node) {
        hideTooltip();
        if (node instanceof More) {
            return;
        }
        menuNode = node;
        updateMenu();
        const box = menuBox();
        box.hidden = false;
        placeAtPointer(box, event);
    }

    function hidePopups() {
        menuNode = null;
        menuBox().hidden = true;
        hideTooltip();
    }

    function onMenuClick(event) {
        const button = event.target.closest("button");
        const node = menuNode;
        if (!button || button.disabled || node === null) {
            return;
        }
        hidePopups();
        const action = button.dataset.action;
        if (action === "expand") {
            expandBelow(node);
        } else if (action === "collapse") {
            collapse(node);
        } else if (action === "events") {
            page.showEvents(node);
        }
    }

    // --- The page's controls ---------------------------------------------------

    document.addEventListener("DOMContentLoaded", () => {
        const input = document.getElementById("search");
        input.addEventListener("input", page.onSearchInput);
        input.addEventListener("keydown", page.onSearchKey);
        document.getElementById("fit").addEventListener("click", page.fitToWindow);
        const menu = menuBox();
        menu.addEventListener("click", onMenuClick);
        menu.addEventListener("contextmenu", (event) => event.preventDefault());
        document.addEventListener("click", (event) => {
            if (!menu.contains(event.target)) {
                hidePopups();
            }
        });
        document.addEventListener("keydown", (event) => {
            if (event.key === "Escape") {
                hidePopups();
            }
        });
        page.connectChannel();
    });

    Object.assign(page, {
        toggle, expandBelow, tooltipBox, placeAtPointer, showTooltip, hideTooltip, updateMenu,
        openMenu, hidePopups,
    });
}
