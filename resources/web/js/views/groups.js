// Groups (mobs): who is in each today, and the way into the Animals list to
// work on a group's members at once.

import { h, button, nf, field, formValues, showErrors } from '../ui/dom.js';
import { openDialog, pagedTable, viewHeading } from '../ui/ui.js';
import { compareTags } from '../core/text.js';
import { inForce } from '../core/database.js';
import { upsert } from '../rules/records.js';
import { membersOn, validateGroup, createGroup } from '../rules/groups.js';
import { showAnimals, voidCell, rowClass } from './cells.js';

export function groupsView(app) {
  const today = app.today();
  const rows = app.db.groups.slice().sort((a, b) => !!a.voided - !!b.voided || compareTags(a.name, b.name));
  const st = app.vs('groups', { page: 0, pageSize: 100 });
  return {
    title: 'Groups',
    el: h(
      'div',
      { class: 'view' },
      viewHeading(
        'Groups',
        'Mobs and batches: an animal may be in several, and each keeps the dates it joined and left.',
      ),
      h(
        'div',
        { class: 'actions' },
        button('New group', () => groupForm(app), { kind: 'primary', attrs: { 'data-key': 'gr-add' } }),
      ),
      pagedTable({
        key: 'gr',
        state: st,
        rows,
        rowClass,
        onChange: () => app.rerender(),
        emptyText: 'No groups yet. Select animals in the Animals list and add them to a new group.',
        columns: [
          { key: 'name', label: 'Name', cell: (g) => h('strong', {}, g.name) },
          {
            key: 'n',
            label: 'Members today',
            className: 'num',
            cell: (g) => {
              const n = inForce(g) ? membersOn(g, today).size : 0;
              return n
                ? h(
                    'a',
                    {
                      href: '#/animals',
                      onclick: (ev) => {
                        ev.preventDefault();
                        showAnimals(app, { groupId: g.id });
                      },
                    },
                    nf.format(n),
                  )
                : '0';
            },
          },
          { key: 'notes', label: 'Notes', cell: (g) => g.notes },
          {
            key: 'act',
            label: 'Actions',
            cell: (g) => voidCell(app, 'groups', g, `group ${g.name}`, `gr-${g.id}`, () => groupForm(app, g)),
          },
        ],
      }),
    ),
    print: null,
  };
}

function groupForm(app, g = null) {
  return openDialog({
    title: g ? `Edit ${g.name}` : 'New group',
    submitLabel: g ? 'Save changes' : 'Create group',
    content: h(
      'div',
      { class: 'form-grid' },
      field({
        label: 'Name',
        name: 'name',
        value: g?.name ?? '',
        required: true,
        attrs: { autofocus: true },
      }),
      field({ label: 'Notes', name: 'notes', type: 'textarea', value: g?.notes ?? '', wide: true }),
    ),
    onSubmit: (form) => {
      const res = validateGroup(formValues(form), app.context(g));
      if (!showErrors(form, res.ok ? {} : res.errors)) return false;
      app.commit(
        (db) => (g ? upsert(db, 'groups', g.id, res.value) : createGroup(db, res.value)),
        g ? 'Group saved.' : 'Group created.',
      );
      return true;
    },
  });
}
