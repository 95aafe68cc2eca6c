// The tree's nodes and which of them are open: the checks of an arriving
// tree, what the user has opened, and the children drawn under each node.
"use strict";

{
    const page = window.korvantisTree;
    const {PAGE, START_OPEN_LEVELS, START_BUDGET, EXPAND_BUDGET, TEXT, More, hasChildren} = page;

    let parentOf = [];    // by __id: the parent's __id, -1 for the root
    let placeOf = [];     // by __id: the index among its siblings

    // What the user has opened: only nodes ever opened have an entry, with
    // how many of their children are drawn, the children beyond those that a
    // search brought into view, and the stand-in for the rest.
    let views = new Map();

    // Forgets the nodes of the current tree and what was open in it.
    function clearLayout() {
        page.order = [];
        parentOf = [];
        placeOf = [];
        views = new Map();
    }

    // Checks that `top` is a tree of {name, children?} objects, lists its
    // nodes in the tree JSON's order, notes each node's parent and its index
    // among its siblings, and writes into every node its place in the list
    // and the number of its descendants. Returns false for anything else.
    function prepare(top) {
        const listed = listNodes(top);
        if (listed === null) {
            return false;
        }
        countDescendants(listed.list);
        page.order = listed.list;
        parentOf = listed.parents;
        placeOf = listed.places;
        return true;
    }

    // The nodes below `top` in the tree JSON's order, with each one's parent
    // and place among its siblings; null when `top` is not a tree.
    function listNodes(top) {
        const list = [];
        const parents = [];
        const places = [];
        const stack = [top];
        const stackParents = [-1];
        const stackPlaces = [0];
        while (stack.length > 0) {
            const node = stack.pop();
            const parent = stackParents.pop();
            const place = stackPlaces.pop();
            if (node === null || typeof node !== "object" || Array.isArray(node) ||
                typeof node.name !== "string") {
                return null;
            }
            const kids = node.children;
            if (kids !== undefined && !Array.isArray(kids)) {
                return null;
            }
            const id = list.length;
            node.__id = id;
            list.push(node);
            parents.push(parent);
            places.push(place);
            if (kids) {
                for (let i = kids.length - 1; i >= 0; i--) {
                    stack.push(kids[i]);
                    stackParents.push(id);
                    stackPlaces.push(i);
                }
            }
        }
        return {list, parents, places};
    }

    // Children come after their parent in the list, so one backward pass
    // sums every subtree.
    function countDescendants(list) {
        for (let i = list.length - 1; i >= 0; i--) {
            const node = list[i];
            const kids = node.children;
            let count = 0;
            if (kids) {
                for (let j = 0; j < kids.length; j++) {
                    count += 1 + kids[j].__count;
                }
            }
            node.__count = count;
        }
    }

    function viewOf(node) {
        let view = views.get(node);
        if (view === undefined) {
            view = {open: false, shown: 0, pinned: null, more: null};
            views.set(node, view);
        }
        return view;
    }

    function isOpen(node) {
        const view = views.get(node);
        return view !== undefined && view.open;
    }

    function open(node) {
        const view = viewOf(node);
        view.open = true;
        if (view.shown === 0) {
            view.shown = Math.min(node.children.length, PAGE);
        }
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
                for (let i = 0; i < views.get(node).shown; i++) {
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
        const view = views.get(node);
        if (view === undefined || !view.open || !hasChildren(node)) {
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
    // Returns how many nodes that added and whether it stopped short.
    function openBelow(node) {
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
            for (const k of visibleChildren(n, views.get(n))) {
                queue.push(k);
            }
        }
        return {added, stopped};
    }

    // Closes `node` and every open node below it.
    function closeBelow(node) {
        const stack = [node];
        while (stack.length > 0) {
            const n = stack.pop();
            const view = views.get(n);
            if (view === undefined || !view.open) {
                continue;
            }
            view.open = false;
            for (const k of visibleChildren(n, view)) {
                stack.push(k);
            }
        }
    }

    // Makes `node` drawn: opens every node above it and pins it, and each
    // node above it, among its siblings when it lies beyond the drawn page.
    function reveal(node) {
        const order = page.order;
        let child = node;
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
                view.pinned.add(child);
            }
            child = parent;
        }
    }

    Object.assign(page, {
        clearLayout, prepare, viewOf, isOpen, open, openAtStart, drawnChildren,
        openBelow, closeBelow, reveal,
    });
}
