# Drives the window as a person with a screen reader would, through the
# accessibility bus: presses Get Data, answers the FIRST-mode box, and waits
# for the transfer's final status.
import pyatspi, time, sys

def find(root, pred, depth=0):
    try:
        if pred(root):
            return root
        for child in root:
            if child is None:
                continue
            found = find(child, pred, depth + 1)
            if found:
                return found
    except Exception:
        pass
    return None

desktop = pyatspi.Registry.getDesktop(0)
app = None
for _ in range(50):
    for a in desktop:
        if a and a.name and 'bc245xlt' in a.name.lower():
            app = a
    if app:
        break
    time.sleep(0.2)
print("app", app and app.name)
get = find(app, lambda o: o.getRoleName() == 'push button' and o.name.replace('&', '') == 'Get Data')
print("get", get)
get.queryAction().doAction(0)
time.sleep(1.5)
ok = None
for _ in range(20):
    ok = find(app, lambda o: o.getRoleName() == 'push button' and o.name.replace('&', '') == 'OK')
    if ok:
        break
    time.sleep(0.3)
print("ok", ok)
ok.queryAction().doAction(0)
status = find(app, lambda o: o.getRoleName() == 'status bar')
start = time.time()
while time.time() - start < 60:
    text = status.name
    if text in ('Download complete.',) or text.startswith('ERROR'):
        break
    time.sleep(0.5)
print("final", status.name, round(time.time() - start, 1))
