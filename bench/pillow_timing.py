# The side-by-side scripts' Pillow figures: for each case, the median processor time of `reps`
# runs, printed as one line "NAME MILLISECONDS".
import time


def report(cases, reps):
    for name, fn in cases.items():
        ts = []
        for _ in range(reps):
            t0 = time.process_time()
            fn()
            ts.append(time.process_time() - t0)
        ts.sort()
        print(name, round(ts[len(ts) // 2] * 1000, 1))
