// The search field: the nodes whose name or pid matches, the paths opened to
// them, and stepping from one match to the next.
"use strict";

{
    const page = window.korvantisTree;
    const {REVEAL_AT_ONCE, SEARCH_DELAY_MS, TEXT, hooks} = page;

    let matches = [];
    let matchSet = new Set();
    let current = -1;
    let searched = "";    // the query the matches belong to
    let searchTimer = 0;
    let dropScan = () => {};   // drops the slices of a search still going

    function clearSearch() {
        dropScan();
        dropScan = () => {};
        hooks.searching = false;
        matches = [];
        matchSet = new Set();
        current = -1;
        searched = "";
        hooks.matches = 0;
        hooks.current = -1;
        document.getElementById("found").textContent = "";
    }

    // What a node's class gains from the search: " match", " match current"
    // for the one shown, or nothing.
    function matchClass(node) {
        if (!matchSet.has(node)) {
            return "";
        }
        return current >= 0 && matches[current] === node ? " match current" : " match";
    }

    // Shows the current match, then calls `then` (if given).
    function showCurrent(then) {
        const found = document.getElementById("found");
        hooks.current = current;
        found.textContent = matches.length === 0 ? TEXT.noMatch
                                                 : TEXT.matchOf(current + 1, matches.length);
        if (current < 0) {
            page.render(null, then);
            return;
        }
        const node = matches[current];
        dropScan();
        hooks.searching = true;
        dropScan = page.runInSlices(page.revealSteps(node), () => {
            dropScan = () => {};
            hooks.searching = false;
            page.render(null, () => {
                page.centreOn(node);
                if (then) {
                    then();
                }
            });
        });
    }

    // Finds the nodes whose name holds `query` (ignoring case) or whose pid
    // is `query`, opens the paths to the first of them and shows the first.
    function search(query, moveView) {
        const text = query.trim();
        if (text === searched) {
            return;
        }
        clearSearch();
        searched = text;
        if (text === "" || !page.root) {
            if (page.root) {
                page.render(null);
            }
            return;
        }
        const start = performance.now();
        hooks.searching = true;
        dropScan = page.runInSlices(searchSteps(text), (found) => {
            dropScan = () => {};
            hooks.searching = false;
            showMatches(found, start, moveView);
        });
    }

    // The nodes that match `text`, in the tree JSON's order; yields every
    // STEP nodes, so that a large tree is searched a slice at a time.
    const STEP = 4096;
    function* matchSteps(text) {
        const lower = text.toLowerCase();
        const pid = /^[0-9]+$/.test(text) ? Number(text) : null;
        const {order, facts} = page;
        const found = [];
        for (let i = 0; i < order.length; i++) {
            const node = order[i];
            if ((pid !== null && facts && facts[i][0] === pid) ||
                node.name.toLowerCase().includes(lower)) {
                found.push(node);
            }
            if (i % STEP === STEP - 1) {
                yield;
            }
        }
        return found;
    }

    // The matches of `text`, with the paths to the first of them opened.
    function* searchSteps(text) {
        const found = yield* matchSteps(text);
        for (let i = 0; i < found.length && i < REVEAL_AT_ONCE; i++) {
            yield* page.revealSteps(found[i]);
        }
        return found;
    }

    // Shows the first of `found`, whose paths are open.
    function showMatches(found, start, moveView) {
        matches = found;
        matchSet = new Set(matches);
        hooks.matches = matches.length;
        current = matches.length > 0 ? 0 : -1;
        // Timed until the picture shows the first match.
        const timed = () => {
            hooks.lastSearchMs = performance.now() - start;
        };
        if (moveView) {
            showCurrent(timed);
        } else {
            hooks.current = current;
            page.render(null, timed);
        }
    }

    // Runs the last query again, once the facts let it match pids too; the
    // view stays where it is.
    function searchAgain() {
        if (searched !== "") {
            const query = searched;
            searched = "";
            search(query, false);
        }
    }

    function step(by) {
        if (matches.length === 0) {
            return;
        }
        current = (current + by + matches.length) % matches.length;
        showCurrent();
    }

    function onSearchInput(event) {
        clearTimeout(searchTimer);
        const input = event.target;
        searchTimer = setTimeout(() => search(input.value, true), SEARCH_DELAY_MS);
    }

    function onSearchKey(event) {
        if (event.key === "Enter") {
            event.preventDefault();
            clearTimeout(searchTimer);
            const text = event.target.value.trim();
            if (text !== searched) {
                search(text, true);
            } else {
                step(event.shiftKey ? -1 : 1);
            }
        } else if (event.key === "Escape") {
            event.target.value = "";
            clearTimeout(searchTimer);
            search("", true);
        }
    }

    Object.assign(page, {clearSearch, matchClass, search, searchAgain, onSearchInput, onSearchKey});
}
