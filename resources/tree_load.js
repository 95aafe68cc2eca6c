// The arrival of a tree: loadTreeFrom, which the program calls with the
// address of the tree JSON, initialLoad, which takes the text itself, and
// what the program's tests and benchmarks drive the page with.
"use strict";

{
    const page = window.korvantisTree;
    const {TEXT, hooks, More, hasChildren} = page;

    // The program's texts come from its own scheme, read in place: a script
    // or a channel message carrying them would be a copy, escaped, of a text
    // that may be 100 MB. An address that serves nothing reads as "".
    // XMLHttpRequest: the engine's fetch() knows no schemes of programs.
    page.readText = function (address, then) {
        if (typeof address !== "string" || address.length === 0) {
            then("");
            return;
        }
        const request = new XMLHttpRequest();
        request.open("GET", address);
        request.onload = () => then(request.status === 200 ? request.responseText : "");
        request.onerror = () => then("");
        request.send();
    };

    window.loadTreeFrom = function (address) {
        hooks.fetchedAt = Date.now();
        page.readText(address, (text) => window.initialLoad(text));
    };

    window.initialLoad = function (text) {
        hooks.calledAt = Date.now();
        hooks.received = text;
        hooks.calls += 1;
        page.generation += 1;
        hooks.firstDrawnAt = 0;
        hooks.firstPaintedAt = 0;
        page.setUp();
        page.clearPicture();
        if (typeof text !== "string" || text.length === 0) {
            page.showMessage(TEXT.noTree);
            return;
        }
        let parsed;
        const parseStart = performance.now();
        try {
            parsed = JSON.parse(text);
        } catch (e) {
            page.showMessage(e instanceof RangeError ? TEXT.tooDeep : TEXT.unreadable);
            return;
        }
        hooks.parseMs = performance.now() - parseStart;
        const top = Array.isArray(parsed) && parsed.length === 1 ? parsed[0] : parsed;
        const prepareStart = performance.now();
        const isTree = top !== null && typeof top === "object" && page.prepare(top);
        hooks.prepareMs = performance.now() - prepareStart;
        if (!isTree) {
            page.showMessage(TEXT.notATree);
            return;
        }
        hooks.total = page.order.length;
        page.root = top;
        page.openAtStart(top);
        page.hideMessage();
        page.render(null, page.fitFirstPicture);
        askForFactsAfterPaint();
    };

    // The facts come once the first picture is on the screen.
    function askForFactsAfterPaint() {
        const asked = page.generation;
        requestAnimationFrame(() => setTimeout(() => {
            if (asked === page.generation) {
                page.askForFacts();
            }
        }, 0));
    }

    // For benchmarks: the drawn closed node with the most descendants (its
    // id), and a click on a drawn node given by id; returns whether it was
    // found.
    hooks.biggestClosed = function () {
        let best = null;
        page.drawnGroups().each((d) => {
            const data = d.data;
            if (!(data instanceof More) && !page.isOpen(data) && hasChildren(data) &&
                (best === null || data.__count > best.__count)) {
                best = data;
            }
        });
        return best === null ? -1 : best.__id;
    };
    hooks.expandBelow = function (id) {
        if (page.order[id] === undefined) {
            return false;
        }
        page.expandBelow(page.order[id]);
        return true;
    };
    hooks.search = function (text) {
        page.search(String(text), true);
        return hooks.matches;
    };
    hooks.click = function (id) {
        const g = page.drawnGroups().filter((d) => d.data.__id === id).node();
        if (!g) {
            return false;
        }
        g.dispatchEvent(new MouseEvent("click", {bubbles: true, cancelable: true}));
        return true;
    };
}
