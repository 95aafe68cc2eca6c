// The tree's nodes and which of them are open: the checks of an arriving
// tree, what the user has opened, and the children drawn under each node.
"use strict";

{
    const page = window.korvantisTree;
    const {PAGE, START_OPEN_LEVELS, START_BUDGET, EXPAND_BUDGET, TEXT, More, hasChildren} = page;

    let parentOf = [];    // by __id: the parent's __id, -1 for the root
    let placeOf = [];     // by __id: the index among its siblings

    // What the user has opened is kept on each node ever opened (__view):
    // how many of its children are drawn, the children beyond those that a
    // search brought into view, and the stand-in for the rest. A map of them
    // held the page while it grew past the hundreds of thousands a search
    // opens at the end of a chain.

    // Counts the changes to what is drawn (a node opened or closed, more of
    // its children shown, one pinned): while it stays the same, a picture
    // asked for keeps the layout it has. Below an open chain of hundreds of
    // thousands, laying it out again was most of a step to the next match.
    let changes = 0;
    const layoutChanges = () => changes;

    // Forgets the nodes of the current tree and what was open in it.
    function clearLayout() {
        page.order = [];
        parentOf = [];
        placeOf = [];
        changes += 1;
    }

    // Makes the nodes of a tree read into flat lists (tree_parse.js), in
    // the tree JSON's order, each with its place in the list (__id) and the
    // number of its descendants (__count); yields every STEP nodes, so that a
    // tree of hundreds of thousands is made a slice at a time, and returns
    // the list.
    const STEP = 4096;
    function* nodeSteps(flat) {
        const {names, ends, parents, places, childCounts, counts} = flat;
        const n = ends.length;
        const list = new Array(n);
        let start = 0;
        for (let i = 0; i < n; i++) {
            const kids = childCounts[i] >= 0 ? new Array(childCounts[i]) : undefined;
            // Every node has the same fields from the start, the place the
            // picture gives it (__x, __y) too: fields added later would make
            // writing them to every node of a large picture slow.
            const node = {name: names.substring(start, ends[i]), children: kids, __id: i,
                __count: counts[i], __x: undefined, __y: undefined, __view: null};
            start = ends[i];
            list[i] = node;
            if (i > 0) {
                list[parents[i]].children[places[i]] = node;
            }
            if (i % STEP === STEP - 1) {
                yield;
            }
        }
        return list;
    }

    // Takes the nodes made by nodeSteps as the current tree.
    function adoptNodes(list, flat) {
        page.order = list;
        parentOf = flat.parents;
        placeOf = flat.places;
    }

    function viewOf(node) {
        let view = node.__view;
        if (view === null) {
            view = {open: false, shown: 0, pinned: null, more: null};
            node.__view = view;
        }
        return view;
    }

    function isOpen(node) {
        const view = node.__view;
        return view != null && view.open;
    }

    function open(node) {
        const view = viewOf(node);
        view.open = true;
        if (view.shown === 0) {
            view.shown = Math.min(node.children.length, PAGE);
        }
        changes += 1;
    }

    function close(node) {
        viewOf(node).open = false;
        changes += 1;
    }

    // Draws the next page of the children of `node`.
    function showMore(node) {
        const view = viewOf(node);
        view.shown = Math.min(node.children.length, view.shown + PAGE);
        changes += 1;
    }

    // What opening `node` adds to the picture: its first page of children
    // and the stand-in for the rest.
    function openingCost(node) {
        const n = node.children.length;
        return Math.min(n, PAGE) + (n > PAGE ? 1 : 0);
    }

    // Opens the first levels, breadth first, while the picture stays small.
    function openAtStart(top) {
        let budget = START_BUDGET - 1;
        let level = [top];
        for (let depth = 0; depth < START_OPEN_LEVELS && level.length > 0; depth++) {
            const next = [];
            for (const node of level) {
                if (!hasChildren(node)) {
                    continue;
                }
                const cost = openingCost(node);
                if (cost > budget) {
                    continue;
                }
                budget -= cost;
                open(node);
                for (let i = 0; i < node.__view.shown; i++) {
                    next.push(node.children[i]);
                }
            }
            level = next;
        }
    }

    // The children drawn under an open node: its first `shown` children,
    // then those a search pinned, in list order.
    function visibleChildren(node, view) {
        const kids = node.children;
        if (view.shown >= kids.length) {
            return kids;
        }
        const list = kids.slice(0, view.shown);
        if (view.pinned) {
            const extra = [...view.pinned].filter((k) => placeOf[k.__id] >= view.shown);
            extra.sort((a, b) => placeOf[a.__id] - placeOf[b.__id]);
            for (const k of extra) {
                list.push(k);
            }
        }
        return list;
    }

    function drawnChildren(node) {
        const view = node.__view;
        if (view == null || !view.open || !hasChildren(node)) {
            return null;
        }
        const list = visibleChildren(node, view);
        const rest = node.children.length - list.length;
        if (rest > 0) {
            if (!view.more) {
                view.more = new More(node);
            }
            view.more.name = TEXT.more(rest);
            return list.concat([view.more]);
        }
        return list;
    }

    // Opens every node below `node`, breadth first, a page of children at a
    // time, until the next one would take the picture over its budget.
    // Returns how many nodes that added and whether it stopped short; yields
    // every STEP nodes, as below an open chain of hundreds of thousands it
    // goes through them all.
    function* openBelowSteps(node) {
        let budget = EXPAND_BUDGET;
        let added = 0;
        let stopped = false;
        const queue = [node];
        for (let head = 0; head < queue.length; head++) {
            const n = queue[head];
            if (!hasChildren(n)) {
                continue;
            }
            if (!isOpen(n)) {
                const cost = openingCost(n);
                if (cost > budget) {
                    stopped = true;
                    break;
                }
                budget -= cost;
                added += cost;
                open(n);
            }
            for (const k of visibleChildren(n, n.__view)) {
                queue.push(k);
            }
            if (head % STEP === STEP - 1) {
                yield;
            }
        }
        return {added, stopped};
    }

    // Closes `node` and every open node below it.
    function closeBelow(node) {
        const stack = [node];
        while (stack.length > 0) {
            const n = stack.pop();
            const view = n.__view;
            if (view == null || !view.open) {
                continue;
            }
            view.open = false;
            changes += 1;
            for (const k of visibleChildren(n, view)) {
                stack.push(k);
            }
        }
    }

    // Makes `node` drawn: opens every node above it and pins it, and each
    // node above it, among its siblings when it lies beyond the drawn page.
    // Yields every STEP nodes on the way up: a match at the end of a chain of
    // hundreds of thousands is revealed a slice at a time.
    function* revealSteps(node) {
        const order = page.order;
        let child = node;
        let steps = 0;
        for (let up = parentOf[node.__id]; up >= 0; up = parentOf[up]) {
            const parent = order[up];
            const view = viewOf(parent);
            if (!view.open) {
                open(parent);
            }
            if (placeOf[child.__id] >= view.shown) {
                if (!view.pinned) {
                    view.pinned = new Set();
                }
                if (!view.pinned.has(child)) {
                    view.pinned.add(child);
                    changes += 1;
                }
            }
            child = parent;
            if (++steps % STEP === 0) {
                yield;
            }
        }
    }

    Object.assign(page, {
        clearLayout, layoutChanges, nodeSteps, adoptNodes, isOpen, open, close, showMore,
        openAtStart, drawnChildren, openBelowSteps, closeBelow, revealSteps,
    });
}
