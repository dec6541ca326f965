; Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
; GIMP 3's side of the test programs.

(define (load-image path) (car (gimp-file-load RUN-NONINTERACTIVE path)))
(define (first-layer image) (vector-ref (car (gimp-image-get-layers image)) 0))
(define (new-group image) (car (gimp-group-layer-new image "group")))

; Two copies of the layer, the second locked for "two-locked"; no drawable at all; or
; the layer under an effect computed from it, whose output the operation stacked on it
; takes as its input.
(define (host-kind image layer kind)
  (cond ((equal? kind "inverted")
         (gimp-drawable-append-new-filter layer "gegl:invert-gamma" 0 LAYER-MODE-REPLACE 1.0)
         (list layer))
        ((member kind '("two" "two-locked"))
         (let ((second (car (gimp-layer-copy layer))))
           (gimp-image-insert-layer image second 0 0)
           (if (equal? kind "two-locked") (gimp-item-set-lock-content second TRUE))
           (list layer second)))
        ((equal? kind "none") '())
        (else (error (string-append "no kind " kind)))))

(define (only-layer? image drawable)
  (and (= (vector-length (car (gimp-image-get-layers image))) 1)
       (= drawable (first-layer image))
       (equal? (gimp-drawable-get-offsets drawable) '(0 0))))
(define (copy-drawable drawable) (gimp-edit-copy (vector drawable)))
(define (export-raw image path) (gimp-file-save RUN-NONINTERACTIVE image path -1))
(define (effects-of drawable)
  (map (lambda (filter) (car (gimp-drawable-filter-get-operation-name filter)))
       (vector->list (car (gimp-drawable-get-filters drawable)))))

; Run modes beyond GIMP's: the operation merged at once (also with the cubic sampler),
; kept as an effect and read back from an XCF file, kept as an effect and read through
; the image's projection (which GIMP renders in parts, unlike an export), or picked from
; the menu of a display and answered from outside, which then creates the file answered.
(define FILTER-MERGE 10)
(define FILTER-APPEND 11)
(define FILTER-STACK 12)
(define FILTER-DIALOG 13)
(define FILTER-CUBIC 14)

(define (run-ondalux run-mode image drawables scale turbulence)
  (let ((filter (lambda (add)
                  (add (car drawables) "ondalux:dent" 0 LAYER-MODE-REPLACE 1.0
                       "scale" scale "turbulence" turbulence "pattern" 7 "sampler-type"
                       (if (= run-mode FILTER-CUBIC) "cubic" "nearest")))))
    (cond ((member run-mode (list FILTER-MERGE FILTER-CUBIC))
           (list (status-of (lambda () (filter gimp-drawable-merge-new-filter)))
                 image drawables))
          ((= run-mode FILTER-APPEND)
           (let ((status (status-of (lambda () (filter gimp-drawable-append-new-filter))))
                 (xcf (string-append work-dir "/effect.xcf")))
             (gimp-file-save RUN-NONINTERACTIVE image xcf -1)
             (gimp-image-delete image)
             (let ((loaded (load-image xcf)))
               (list status loaded (list (first-layer loaded))))))
          ((= run-mode FILTER-STACK)
           (let ((status (status-of (lambda () (filter gimp-drawable-append-new-filter))))
                 (visible (car (gimp-layer-new-from-visible image image "visible"))))
             (gimp-image-insert-layer image visible 0 0)
             (gimp-image-remove-layer image (car drawables))
             (gimp-layer-flatten visible)
             (list status image (list visible))))
          ((= run-mode FILTER-DIALOG)
           (let ((display (car (gimp-display-new image)))
                 (answered (string-append work-dir "/answered")))
             (let wait () (if (not (file-exists? answered)) (begin (usleep 100000) (wait))))
             (file-delete answered)
             ; Closing the last display deletes its image.
             (let ((copy (car (gimp-image-duplicate image))))
               (gimp-display-delete display)
               (list "success" copy (list (first-layer copy))))))
          (else (list (status-of (lambda () (plug-in-ondalux
                                             #:run-mode run-mode #:image image
                                             #:drawables (list->vector drawables)
                                             #:scale scale #:disturbance turbulence)))
                      image drawables)))))

; GIMP 3 keeps last values in its own files, out of a script's reach.
(define (report-stored key) #t)
